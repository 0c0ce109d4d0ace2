#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace kovrin {

// A file the program writes, named as a folder it was given (its program folder, its log
// folder, the bank folder, a folder chosen in a dialog) and a path below that folder.
//
// The folder itself is taken as it is: the administrator may have made it a link. Below it no
// symbolic link is ever followed, neither a folder of the path nor the file itself. The
// program folder is shared by the operators of a PC through a group, so any of them can put a
// link where the program's file should be; followed, it would make a colleague's program
// overwrite whatever the link points at. Such a link is refused and named, nothing is written
// through it.
class GuardedPath {
public:
    GuardedPath(const QString& root, const QString& relative);

    // `path`, a file inside `root` (as QDir(root).filePath() makes it). A path outside `root`
    // is guarded below its own folder.
    static GuardedPath within(const QString& root, const QString& path);
    // A file guarded below its own folder only (a file chosen by the operator).
    static GuardedPath ofFile(const QString& path);

    QString root() const { return m_root; }
    QString relative() const { return m_relative; }
    QString full() const;

private:
    QString m_root;
    QString m_relative;
};

// What came of a write: `error` is the system's reason, or the refusal of a link, worded to
// follow "could not be written: " in a message.
struct FileResult {
    bool ok = false;
    bool refusedLink = false;
    QString error;
    explicit operator bool() const { return ok; }
    static FileResult success() { return {true, false, {}}; }
};

namespace files {

// The bytes become the whole file, or the file stays as it was: they go to a new file beside
// it, flushed to the disk, which then takes the file's name. A link at the file's name is
// refused; missing folders of the path are made.
FileResult writeWhole(const GuardedPath& path, const QByteArray& bytes);

// Adds the bytes at the end of the file, made when missing. Only a plain file of one name is
// appended to.
FileResult append(const GuardedPath& path, const QByteArray& bytes);

// Opens the file for appending, made when missing, and returns its descriptor (the caller
// closes it), or -1 with the reason in `result`.
int openForAppend(const GuardedPath& path, FileResult* result);

// Makes the file empty, or makes it when missing (a mark whose presence is what counts).
FileResult touch(const GuardedPath& path);

// Makes a new file that must not exist yet (a temporary name); the descriptor is closed.
FileResult createNew(const GuardedPath& path);

// Removes the file (a link at its name is removed, never what it points at). A missing file
// is no failure.
FileResult remove(const GuardedPath& path);

// Gives `from` the name `to` in the same folder, replacing a plain file there.
FileResult rename(const GuardedPath& from, const GuardedPath& to);

// Makes the folder `path` and those above it below the root, when missing.
FileResult makeFolder(const GuardedPath& path);

// Whether the file's name or a folder of its path below the root is a symbolic link.
bool isLink(const GuardedPath& path);

// The refusal of a link, as `error` words it, for a link found by other means.
QString linkRefusal(const QString& link);

// A whole file written piece by piece (a report of thousands of pages is never held in
// memory): the pieces go to a new file beside it, which takes the file's name at commit(),
// flushed to the disk; until then, and when the writer goes without commit(), the file stays
// as it was and the new one is removed. A link at the file's name is refused, as by writeWhole.
class WholeFileWriter {
public:
    explicit WholeFileWriter(GuardedPath path);
    ~WholeFileWriter();
    WholeFileWriter(const WholeFileWriter&) = delete;
    WholeFileWriter& operator=(const WholeFileWriter&) = delete;

    // Makes the new file; device() takes the pieces once it succeeded.
    FileResult open();
    QIODevice* device();
    // The new file becomes the file.
    FileResult commit();

private:
    struct State;
    GuardedPath m_path;
    State* m_state;
};

}  // namespace files

}  // namespace kovrin
