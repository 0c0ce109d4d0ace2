#include "upload/KeptUpload.h"

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

bool KeptUpload::openKept(QFile& file, QIODevice::OpenMode mode) {
    return file.open(mode);
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
        if (!openKept(f, QIODevice::ReadOnly)) {
            continue;
        }
        if (f.read(head.size()) == head) {
            found = f.fileName();
            kept = f.readAll();
            break;
        }
        f.close();
        if (name == ownName) {
            // The same agent and day, but another count or header: the terminal no longer
            // holds the upload these records came from.
            QFile::remove(dir.filePath(name));
            s.notes << QStringLiteral(
                           "the records kept in %1 were discarded: this upload's "
                           "count or header differ")
                           .arg(dir.filePath(name));
        }
    }

    if (!found.isEmpty()) {
        for (int at = 0; at + link::kLongFrameSize <= kept.size(); at += link::kLongFrameSize) {
            const QByteArray frame = kept.mid(at, link::kLongFrameSize);
            const int slot = int(s.frames.size());
            if (!recordFits(frame, slot)) {
                s.notes << QStringLiteral(
                               "record %1 kept in %2 is damaged: it and the records "
                               "after it are asked for again")
                               .arg(slot)
                               .arg(found);
                break;
            }
            s.frames << frame;
        }
        m_file.setFileName(found);
        // Only the records found sound stay; the next record is written after them.
        if (!openKept(m_file, QIODevice::ReadWrite) ||
            !m_file.resize(kKeptFileMagic.size() +
                           qint64(s.frames.size()) * link::kLongFrameSize) ||
            !m_file.seek(m_file.size())) {
            s.error = m_file.errorString();
            m_file.close();
            return s;
        }
    } else {
        if (!QDir().mkpath(dir.path())) {
            s.error = QStringLiteral("the folder %1 could not be made").arg(dir.path());
            return s;
        }
        m_file.setFileName(dir.filePath(ownName));
        if (!openKept(m_file, QIODevice::WriteOnly | QIODevice::Truncate) ||
            m_file.write(head) != head.size() || !m_file.flush()) {
            s.error = m_file.errorString();
            m_file.close();
            QFile::remove(dir.filePath(ownName));
            return s;
        }
    }
    m_path = m_file.fileName();
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
        m_file.seek(m_file.size());
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
        QFile::remove(m_path);
    }
    m_path.clear();
    m_count = 0;
}

}  // namespace kovrin
