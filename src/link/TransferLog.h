#pragma once

#include "core/Clock.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <QVector>
#include <functional>

namespace kovrin::link {

// The daily transfer log in the program folder (transfer-YYYY-MM-DD.log): every frame sent
// and every reply received, in hexadecimal, and every event of a transfer (time-out, step
// back, completion, abandonment), each with its time. Support reads it when a terminal
// misbehaves. The file stays open while a transfer runs and is flushed at each event.
//
// Several transfers may run at once (the Transfer Station), so each writes through a view of
// the one log that puts its port after the time of every line:
//   08:30:15.120 port 3 TX 01 FF 10 F0 44 ...
class TransferLog {
public:
    explicit TransferLog(QString programFolder, const Clock& clock = Clock::system());
    // A view of `shared`: its lines go to the same file, each with `source()` ("port 3")
    // after the time (nothing when it is empty). `shared` must outlive the view.
    TransferLog(TransferLog& shared, std::function<QString()> source);
    ~TransferLog();
    TransferLog(const TransferLog&) = delete;
    TransferLog& operator=(const TransferLog&) = delete;

    void setClock(const Clock& clock) { m_clock = &clock; }

    // Starts a transfer's section ("download" or "upload" and what it is about).
    void begin(const QString& title);
    void sent(const QByteArray& frame);
    // A frame with secrets in it: the bytes at the 0-based positions in `masked` are written
    // as "**", and the line says what was masked. The frame on the line is not changed.
    void sentMasked(const QByteArray& frame, const QVector<int>& masked, const QString& what);
    void received(const QByteArray& bytes);
    void event(const QString& text);
    // Ends the transfer's section and closes the file.
    void end(const QString& text);

    QString currentFilePath() const;

private:
    // One line: time, kind, text. Every frame of a transfer passes here, so the line is
    // put together as bytes, and the file's name is worked out only when the day changes.
    void line(const char* kind, QByteArrayView text, bool flush);
    void write(QByteArrayView source, const char* kind, QByteArrayView text, bool flush);
    QString filePathFor(const QDate& day) const;

    TransferLog* m_shared = nullptr;  // a view writes to this log's file
    std::function<QString()> m_source;
    QString m_folder;
    QFile m_file;
    QDate m_fileDay;    // the day of the open file
    QString m_refused;  // a link found in the place of this file, told once
    const Clock* m_clock;
};

}  // namespace kovrin::link
