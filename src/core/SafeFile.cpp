#include "core/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>
#include <cerrno>
#include <cstring>

namespace kovrin {

GuardedPath::GuardedPath(const QString& root, const QString& relative)
    : m_root(QDir::cleanPath(root)), m_relative(QDir::cleanPath(relative)) {}

GuardedPath GuardedPath::within(const QString& root, const QString& path) {
    const QString r = QDir::cleanPath(root);
    const QString p = QDir::cleanPath(path);
    if (!r.isEmpty() && p.startsWith(r + QLatin1Char('/')) && p.size() > r.size() + 1) {
        return GuardedPath(r, p.mid(r.size() + 1));
    }
    if (r == QLatin1String("/") && p.startsWith(QLatin1Char('/')) && p.size() > 1) {
        return GuardedPath(r, p.mid(1));
    }
    return ofFile(p);
}

GuardedPath GuardedPath::ofFile(const QString& path) {
    const QFileInfo info(QDir::cleanPath(path));
    return GuardedPath(info.path(), info.fileName());
}

QString GuardedPath::full() const {
    return QDir(m_root).filePath(m_relative);
}

namespace files {

namespace {

QString reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

FileResult failure(int error) {
    return {false, false, reason(error)};
}

FileResult refused(const QString& link) {
    return {false, true, linkRefusal(link)};
}

// An open descriptor, closed when it goes.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    void reset(int fd = -1) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = fd;
    }
    int get() const { return m_fd; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

bool isLinkAt(int dir, const QByteArray& name) {
    struct stat st {};
    return ::fstatat(dir, name.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// The folder that holds the file of `path`, opened without following a link below the root,
// and the file's own name in it. Missing folders are made when `make` is set.
struct Parent {
    Fd dir;
    QByteArray leaf;
    FileResult result;
};

void openParent(const GuardedPath& path, bool make, Parent* out, bool wholePathIsFolder = false) {
    const QStringList parts = path.relative().split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty() || parts.contains(QStringLiteral("..")) ||
        parts.last() == QLatin1String(".")) {
        out->result = {false, false,
                       QStringLiteral("the name %1 does not name a file in the folder %2")
                           .arg(path.relative(), path.root())};
        return;
    }
    out->dir.reset(
        ::open(QFile::encodeName(path.root()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (out->dir.get() < 0) {
        out->result = failure(errno);
        return;
    }
    QString walked = path.root();
    const int folders = wholePathIsFolder ? int(parts.size()) : int(parts.size()) - 1;
    for (int i = 0; i < folders; ++i) {
        if (parts[i] == QLatin1String(".")) {
            continue;
        }
        const QByteArray name = QFile::encodeName(parts[i]);
        walked = QDir(walked).filePath(parts[i]);
        int fd = ::openat(out->dir.get(), name.constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && errno == ENOENT && make) {
            // Made with the program's file-creation mask: for the group only in a shared folder.
            if (::mkdirat(out->dir.get(), name.constData(), 0777) != 0 && errno != EEXIST) {
                out->result = failure(errno);
                return;
            }
            fd = ::openat(out->dir.get(), name.constData(),
                          O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (fd < 0) {
            const int error = errno;
            out->result = isLinkAt(out->dir.get(), name) ? refused(walked) : failure(error);
            return;
        }
        out->dir.reset(fd);
    }
    out->leaf = QFile::encodeName(parts.last());
    out->result = FileResult::success();
}

// Writes all of `bytes` to `fd`; the system's error number, or 0.
int writeAll(int fd, const QByteArray& bytes) {
    const char* p = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            return ENOSPC;
        }
        p += n;
        left -= n;
    }
    return 0;
}

// Opens the file named `leaf` in `dir` for writing without following a link, made when
// missing, and checks that it is a plain file with this one name: what a link or a second
// name would lead to is never written.
int openPlainFile(int dir, const QByteArray& leaf, const QString& full, FileResult* result) {
    Fd fd(::openat(dir, leaf.constData(),
                   O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_APPEND, 0666));
    if (fd.get() < 0) {
        const int error = errno;
        *result = isLinkAt(dir, leaf) ? refused(full) : failure(error);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        *result = failure(errno);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        *result = {false, false, QStringLiteral("it is not a plain file")};
        return -1;
    }
    if (st.st_nlink > 1) {
        *result = {false, true,
                   QStringLiteral("it has another name in the file system (a hard link): the "
                                  "program does not write to such a file; nothing was written "
                                  "to it. Remove it and tell the administrator of this PC")};
        return -1;
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) {
        ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    *result = FileResult::success();
    return fd.release();
}

QByteArray temporaryName(const QByteArray& leaf) {
    return leaf + '.' + QByteArray::number(QRandomGenerator::global()->generate(), 16) + ".new";
}

}  // namespace

QString linkRefusal(const QString& link) {
    return QStringLiteral(
               "%1 is a symbolic link, and the program never writes through a link in its "
               "folders: nothing was written. Remove the link and tell the administrator of "
               "this PC (a link there can make the program overwrite another file)")
        .arg(QDir::toNativeSeparators(link));
}

FileResult writeWhole(const GuardedPath& path, const QByteArray& bytes) {
    Parent parent;
    openParent(path, true, &parent);
    if (!parent.result) {
        return parent.result;
    }
    const int dir = parent.dir.get();
    if (isLinkAt(dir, parent.leaf)) {
        return refused(path.full());
    }
    const QByteArray temporary = temporaryName(parent.leaf);
    Fd fd(::openat(dir, temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   0666));
    if (fd.get() < 0) {
        return failure(errno);
    }
    int error = writeAll(fd.get(), bytes);
    if (error == 0 && ::fsync(fd.get()) != 0) {
        error = errno;
    }
    if (error == 0 && ::close(fd.release()) != 0) {
        error = errno;
    }
    if (error == 0 && ::renameat(dir, temporary.constData(), dir, parent.leaf.constData()) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::unlinkat(dir, temporary.constData(), 0);
        return failure(error);
    }
    ::fsync(dir);  // the new name survives a power cut
    return FileResult::success();
}

int openForAppend(const GuardedPath& path, FileResult* result) {
    Parent parent;
    openParent(path, true, &parent);
    if (!parent.result) {
        *result = parent.result;
        return -1;
    }
    return openPlainFile(parent.dir.get(), parent.leaf, path.full(), result);
}

FileResult append(const GuardedPath& path, const QByteArray& bytes) {
    FileResult result;
    Fd fd(openForAppend(path, &result));
    if (fd.get() < 0) {
        return result;
    }
    if (const int error = writeAll(fd.get(), bytes); error != 0) {
        return failure(error);
    }
    if (::close(fd.release()) != 0) {
        return failure(errno);
    }
    return FileResult::success();
}

FileResult touch(const GuardedPath& path) {
    FileResult result;
    Fd fd(openForAppend(path, &result));
    if (fd.get() < 0) {
        return result;
    }
    if (::ftruncate(fd.get(), 0) != 0 || ::fsync(fd.get()) != 0) {
        return failure(errno);
    }
    return FileResult::success();
}

FileResult createNew(const GuardedPath& path) {
    Parent parent;
    openParent(path, true, &parent);
    if (!parent.result) {
        return parent.result;
    }
    Fd fd(::openat(parent.dir.get(), parent.leaf.constData(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
    if (fd.get() < 0) {
        const int error = errno;
        return isLinkAt(parent.dir.get(), parent.leaf) ? refused(path.full()) : failure(error);
    }
    return FileResult::success();
}

FileResult remove(const GuardedPath& path) {
    Parent parent;
    openParent(path, false, &parent);
    if (!parent.result) {
        return parent.result;
    }
    if (::unlinkat(parent.dir.get(), parent.leaf.constData(), 0) != 0 && errno != ENOENT) {
        return failure(errno);
    }
    return FileResult::success();
}

FileResult rename(const GuardedPath& from, const GuardedPath& to) {
    Parent parent;
    openParent(from, false, &parent);
    if (!parent.result) {
        return parent.result;
    }
    const QFileInfo target(to.full());
    if (QFileInfo(from.full()).path() != target.path()) {
        return {false, false,
                QStringLiteral("%1 is not in the folder of %2").arg(to.full(), from.full())};
    }
    const QByteArray leaf = QFile::encodeName(target.fileName());
    if (isLinkAt(parent.dir.get(), leaf)) {
        return refused(to.full());
    }
    if (::renameat(parent.dir.get(), parent.leaf.constData(), parent.dir.get(), leaf.constData()) !=
        0) {
        return failure(errno);
    }
    ::fsync(parent.dir.get());
    return FileResult::success();
}

FileResult makeFolder(const GuardedPath& path) {
    Parent parent;
    openParent(path, true, &parent, true);
    return parent.result;
}

struct WholeFileWriter::State {
    Parent parent;
    QByteArray temporary;
    QFile file;
    bool made = false;
};

WholeFileWriter::WholeFileWriter(GuardedPath path) : m_path(std::move(path)), m_state(new State) {}

WholeFileWriter::~WholeFileWriter() {
    m_state->file.close();
    if (m_state->made) {
        ::unlinkat(m_state->parent.dir.get(), m_state->temporary.constData(), 0);
    }
    delete m_state;
}

FileResult WholeFileWriter::open() {
    Parent& parent = m_state->parent;
    openParent(m_path, true, &parent);
    if (!parent.result) {
        return parent.result;
    }
    if (isLinkAt(parent.dir.get(), parent.leaf)) {
        return refused(m_path.full());
    }
    m_state->temporary = temporaryName(parent.leaf);
    const int fd = ::openat(parent.dir.get(), m_state->temporary.constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        return failure(errno);
    }
    m_state->made = true;
    if (!m_state->file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {false, false, m_state->file.errorString()};
    }
    return FileResult::success();
}

QIODevice* WholeFileWriter::device() {
    return &m_state->file;
}

FileResult WholeFileWriter::commit() {
    if (!m_state->made || !m_state->file.isOpen()) {
        return {false, false, QStringLiteral("the file was not opened")};
    }
    if (!m_state->file.flush()) {
        return {false, false, m_state->file.errorString()};
    }
    if (m_state->file.error() != QFileDevice::NoError) {
        return {false, false, m_state->file.errorString()};
    }
    if (::fsync(m_state->file.handle()) != 0) {
        return failure(errno);
    }
    m_state->file.close();
    const int dir = m_state->parent.dir.get();
    if (isLinkAt(dir, m_state->parent.leaf)) {
        return refused(m_path.full());  // put there while the file was written
    }
    if (::renameat(dir, m_state->temporary.constData(), dir, m_state->parent.leaf.constData()) !=
        0) {
        return failure(errno);
    }
    m_state->made = false;
    ::fsync(dir);  // the new name survives a power cut
    return FileResult::success();
}

bool isLink(const GuardedPath& path) {
    Parent parent;
    openParent(path, false, &parent);
    if (parent.result.refusedLink) {
        return true;
    }
    return parent.result && isLinkAt(parent.dir.get(), parent.leaf);
}

}  // namespace files

}  // namespace kovrin
