#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>
#include <functional>

namespace kovrin::link {

// The daily transfer log in the program folder (transfer-YYYY-MM-DD.log): every frame sent
// and every reply received, in hexadecimal, and every event of a transfer (time-out, step
// back, completion, abandonment), each with its time. Support reads it when a terminal
// misbehaves. The file stays open while a transfer runs and is flushed at each event.
class TransferLog {
public:
    explicit TransferLog(QString programFolder);
    ~TransferLog();

    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    // Starts a transfer's section ("download" or "upload" and what it is about).
    void begin(const QString& title);
    void sent(const QByteArray& frame);
    void received(const QByteArray& bytes);
    void event(const QString& text);
    // Ends the transfer's section and closes the file.
    void end(const QString& text);

    QString currentFilePath() const;

private:
    void line(const QString& kind, const QString& text, bool flush);

    QString m_folder;
    QFile m_file;
    std::function<QDateTime()> m_clock;
};

}  // namespace kovrin::link
