#include "link/TransferLog.h"

#include <QDir>

namespace kovrin::link {

TransferLog::TransferLog(QString programFolder)
    : m_folder(std::move(programFolder)), m_clock([] { return QDateTime::currentDateTime(); }) {}

TransferLog::~TransferLog() {
    m_file.close();
}

QString TransferLog::currentFilePath() const {
    return QDir(m_folder).filePath(
        QStringLiteral("transfer-%1.log")
            .arg(m_clock().date().toString(QStringLiteral("yyyy-MM-dd"))));
}

void TransferLog::line(const QString& kind, const QString& text, bool flush) {
    const QString path = currentFilePath();
    if (m_file.isOpen() && m_file.fileName() != path) {
        m_file.close();  // the day changed
    }
    if (!m_file.isOpen()) {
        m_file.setFileName(path);
        // A log that cannot be written never stops a transfer.
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Append)) {
            return;
        }
    }
    const QByteArray l = (m_clock().toString(QStringLiteral("HH:mm:ss.zzz")) + QLatin1Char(' ') +
                          kind + QLatin1Char(' ') + text + QLatin1Char('\n'))
                             .toUtf8();
    m_file.write(l);
    if (flush) {
        m_file.flush();
    }
}

void TransferLog::begin(const QString& title) {
    line(QStringLiteral("BEGIN"), title, true);
}

void TransferLog::sent(const QByteArray& frame) {
    line(QStringLiteral("TX"), QString::fromLatin1(frame.toHex(' ').toUpper()), false);
}

void TransferLog::received(const QByteArray& bytes) {
    line(QStringLiteral("RX"), QString::fromLatin1(bytes.toHex(' ').toUpper()), false);
}

void TransferLog::event(const QString& text) {
    line(QStringLiteral("EVENT"), text, true);
}

void TransferLog::end(const QString& text) {
    line(QStringLiteral("END"), text, true);
    m_file.close();
}

}  // namespace kovrin::link
