#include "core/OperatorLog.h"

#include <QFile>
#include <cstdio>

namespace kovrin {

OperatorLog::OperatorLog(const QString& filePath, const Clock& clock)
    : m_filePath(filePath), m_clock(&clock) {}

void OperatorLog::audit(const QString& screen, const QString& text) {
    append(screen, QStringLiteral("AUDIT ") + text);
}

QString OperatorLog::oneLine(const QString& text) {
    QString flat = text;
    return flat.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
}

bool OperatorLog::append(const QString& screen, const QString& text) {
    const QByteArray line = (m_clock->now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                             QLatin1Char('\t') + (screen.isEmpty() ? QStringLiteral("-") : screen) +
                             QLatin1Char('\t') + oneLine(text) + QLatin1Char('\n'))
                                .toUtf8();
    QFile f(m_filePath);
    // A log that cannot be written must never stop the message itself from being shown.
    if (f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text) &&
        f.write(line) == line.size() && f.flush()) {
        return true;
    }
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
    return false;
}

}  // namespace kovrin
