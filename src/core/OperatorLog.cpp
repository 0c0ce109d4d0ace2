#include "core/OperatorLog.h"

#include "core/SafeFile.h"

#include <cstdio>

namespace kovrin {

OperatorLog::OperatorLog(const QString& filePath, const Clock& clock)
    : m_filePath(filePath), m_clock(&clock) {}

void OperatorLog::audit(const QString& screen, const QString& text) {
    append(screen, QStringLiteral("AUDIT ") + text);
}

QString OperatorLog::oneLine(const QString& text) {
    QString flat;
    flat.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\r' || u == u'\n') {
            flat += QLatin1Char(' ');
        } else if (u < 0x20 || (u >= 0x7F && u <= 0x9F)) {
            // A control byte from the terminal or a file (an escape sequence, a tab that would
            // shift the log's columns) is shown, never passed on to whoever reads the log.
            static const char hex[] = "0123456789ABCDEF";
            flat += QLatin1String("\\x");
            flat += QLatin1Char(hex[(u >> 4) & 0xF]);
            flat += QLatin1Char(hex[u & 0xF]);
        } else {
            flat += c;
        }
    }
    return flat;
}

bool OperatorLog::append(const QString& screen, const QString& text) {
    const QByteArray line = (m_clock->now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                             QLatin1Char('\t') + (screen.isEmpty() ? QStringLiteral("-") : screen) +
                             QLatin1Char('\t') + oneLine(text) + QLatin1Char('\n'))
                                .toUtf8();
    // A log that cannot be written must never stop the message itself from being shown.
    const FileResult written = files::append(GuardedPath::ofFile(m_filePath), line);
    if (written) {
        return true;
    }
    if (written.refusedLink) {
        const QByteArray refusal =
            ("operator log: " + written.error + QLatin1Char('\n')).toLocal8Bit();
        std::fwrite(refusal.constData(), 1, size_t(refusal.size()), stderr);
    }
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
    return false;
}

}  // namespace kovrin
