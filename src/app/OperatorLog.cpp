#include "app/OperatorLog.h"

#include <QFile>

namespace kovrin {

OperatorLog::OperatorLog(const QString& filePath)
    : m_filePath(filePath), m_clock([] { return QDateTime::currentDateTime(); }) {}

void OperatorLog::audit(const QString& screen, const QString& text) {
    append(screen, QStringLiteral("AUDIT ") + text);
}

void OperatorLog::append(const QString& screen, const QString& text) {
    QString flat = text;
    flat.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QString line = m_clock().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                         QLatin1Char('\t') + (screen.isEmpty() ? QStringLiteral("-") : screen) +
                         QLatin1Char('\t') + flat + QLatin1Char('\n');
    QFile f(m_filePath);
    // A log that cannot be written must never stop the message itself from being shown.
    if (f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        f.write(line.toUtf8());
    }
}

}  // namespace kovrin
