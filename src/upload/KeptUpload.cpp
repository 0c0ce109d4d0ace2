#include "upload/KeptUpload.h"

#include "core/SafeFile.h"
#include "link/Frame.h"
#include "link/UploadFrames.h"
#include "upload/BankFiles.h"
#include "upload/UploadFileNames.h"

#include <QDir>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace kovrin {

namespace {
// Records are synced to the disk at most this long after they were written.
constexpr int kSyncMs = 1000;
}  // namespace

const QByteArray KeptUpload::kKeptFileMagic = QByteArrayLiteral("KOVRIN KEPT UPLOAD 1\n");

KeptUpload::KeptUpload(QString programFolder, QObject* parent)
    : QObject(parent), m_programFolder(std::move(programFolder)) {
    m_syncTimer.setSingleShot(true);
    connect(&m_syncTimer, &QTimer::timeout, this, &KeptUpload::sync);
}

KeptUpload::~KeptUpload() {
    close();
}

bool KeptUpload::openKept(const QString& name, const QByteArray& bytes, QString* error) {
    const GuardedPath path(m_programFolder, backupFolderName() + QLatin1Char('/') + name);
    FileResult result = files::writeWhole(path, bytes);
    const int fd = result ? files::openForAppend(path, &result) : -1;
    if (fd < 0 ||
        !m_file.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        *error = result ? m_file.errorString() : result.error;
        return false;
    }
    m_path = path.full();
    return true;
}

QString KeptUpload::folder() const {
    return QDir(m_programFolder).filePath(backupFolderName());
}

bool KeptUpload::recordFits(const QByteArray& frame, int slot) {
    if (frame.size() != link::kLongFrameSize || link::recordNumberOf(frame) != slot ||
        !link::CheckCRC(frame)) {
        return false;
    }
    return slot < 2 || link::countByteFits(static_cast<quint8>(frame[132]));
}

KeptUpload::Start KeptUpload::start(const QByteArray& count, const QByteArray& header) {
    close();
    Start s;
    s.frames = {count, header};
    const QDir dir(folder());
    const QString ownName =
        keptFileName(link::DecodeThirdProtocol(header).AgentDateKey, count, header);
    const QByteArray head = kKeptFileMagic + count + header;

    // A kept upload of this count and header, under whatever name.
    QString found;
    QByteArray kept;
    for (const QString& name : dir.entryList({QStringLiteral("*-partial.kept")}, QDir::Files)) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly)) {
            continue;
        }
        if (f.read(head.size()) == head) {
            found = name;
            kept = f.readAll();
            break;
        }
        f.close();
        if (name == ownName) {
            // The same agent and day, but another count or header: the terminal no longer
            // holds the upload these records came from.
            files::remove(GuardedPath(m_programFolder, backupFolderName() + u'/' + name));
            s.notes << QStringLiteral(
                           "the records kept in %1 were discarded: this upload's "
                           "count or header differ")
                           .arg(dir.filePath(name));
        }
    }

    QByteArray bytes = head;
    if (!found.isEmpty()) {
        for (int at = 0; at + link::kLongFrameSize <= kept.size(); at += link::kLongFrameSize) {
            const QByteArray frame = kept.mid(at, link::kLongFrameSize);
            const int slot = int(s.frames.size());
            if (!recordFits(frame, slot)) {
                s.notes << QStringLiteral(
                               "record %1 kept in %2 is damaged: it and the records "
                               "after it are asked for again")
                               .arg(slot)
                               .arg(dir.filePath(found));
                break;
            }
            s.frames << frame;
            bytes += frame;
        }
    }
    // Only the records found sound stay; the next record is written after them.
    if (!openKept(found.isEmpty() ? ownName : found, bytes, &s.error)) {
        return s;
    }
    m_count = int(s.frames.size());
    s.file = m_path;
    m_dirty = true;
    sync();
    return s;
}

bool KeptUpload::append(const QByteArray& frame, QString* error) {
    if (!m_file.isOpen()) {
        *error = QStringLiteral("no file is open");
        return false;
    }
    // Handed to the system at once: a program killed now loses nothing.
    if (m_file.write(frame) != frame.size() || !m_file.flush()) {
        *error = m_file.errorString();
        // What was written of it is taken back, so that the file holds whole records only.
        m_file.resize(kKeptFileMagic.size() + qint64(m_count) * link::kLongFrameSize);
        return false;
    }
    ++m_count;
    m_dirty = true;
    if (!m_lastSync.isValid() || m_lastSync.elapsed() >= kSyncMs) {
        sync();
    } else if (!m_syncTimer.isActive()) {
        m_syncTimer.start(int(kSyncMs - m_lastSync.elapsed()));
    }
    return true;
}

void KeptUpload::sync() {
    m_syncTimer.stop();
    if (!m_dirty || !m_file.isOpen()) {
        return;
    }
#ifdef Q_OS_UNIX
    ::fdatasync(m_file.handle());
#endif
    m_dirty = false;
    m_lastSync.start();
}

void KeptUpload::close() {
    sync();
    m_file.close();
}

void KeptUpload::remove() {
    close();
    if (!m_path.isEmpty()) {
        files::remove(GuardedPath::within(m_programFolder, m_path));
    }
    m_path.clear();
    m_count = 0;
}

}  // namespace kovrin
