#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVector>

namespace kovrin {

// The records of an upload kept on disk as they arrive, so that an upload cut short (the
// cable or the adapter pulled, the terminal silent, the screen or the program closed, the
// program killed, the power cut) goes on later from the first record it lacks, on any port,
// from the Receive Data screen or the Transfer Station, after a restart too.
//
// One file per upload in BackupData: <AgentDateKey>-partial.kept (upload-<hash>-partial.kept
// when the key cannot name a file). Its first line is kKeptFileMagic, then the raw 137-byte
// records follow one after the other from record 0 (the count), 1 (the day's header), 2 on.
// Each record is handed to the system as it is written, and the file is synced to the disk at
// most a second after a write: a power cut loses at most the last second's records. A kept
// upload is found again by its count and header records, byte for byte, whatever its name.
// Every record is checked again when it is taken up; the file goes once the upload is stored.
class KeptUpload : public QObject {
    Q_OBJECT
public:
    explicit KeptUpload(QString programFolder, QObject* parent = nullptr);
    ~KeptUpload() override;

    // What start() found and did.
    struct Start {
        // The records already kept for this count and header, checked (records 0 and 1
        // included); just these two when nothing more was kept.
        QVector<QByteArray> frames;
        QString file;   // the file the upload is kept in; empty when it cannot be written
        QString error;  // why it cannot be written
        // For the transfer log: what was taken up, dropped or discarded.
        QStringList notes;
    };

    // Starts keeping the upload of this count and header. A kept upload with the same two
    // records is taken up: its records are checked, and those from the first damaged one on
    // are dropped. A kept upload of the same agent and day with another count or header
    // belongs to an upload the terminal no longer holds: it is discarded.
    Start start(const QByteArray& count, const QByteArray& header);
    // Keeps the next record (record number = the number of records kept). False with the
    // reason when it could not be written; the upload goes on without it.
    bool append(const QByteArray& frame, QString* error);
    int keptCount() const { return m_count; }
    QString file() const { return m_path; }
    // Syncs and closes the file; it stays for the next upload of the same terminal.
    void close();
    // Removes the file: the upload is stored.
    void remove();

    // The magic first line of a kept file.
    static const QByteArray kKeptFileMagic;
    // A kept record is one the terminal could have sent as record `slot`: 137 bytes, its own
    // number, a right checksum and, for a transaction record, a count of transactions a frame
    // can hold.
    static bool recordFits(const QByteArray& frame, int slot);

private:
    // The kept file is written here only: made anew with `bytes` (through SafeFile, never
    // through a link), then opened for the records that follow. False with the reason.
    bool openKept(const QString& name, const QByteArray& bytes, QString* error);
    QString folder() const;
    void sync();

    QString m_programFolder;
    QFile m_file;
    QString m_path;
    int m_count = 0;
    bool m_dirty = false;
    QElapsedTimer m_lastSync;
    QTimer m_syncTimer;
};

}  // namespace kovrin
