#include "link/TransferLog.h"

#include "core/Messages.h"
#include "core/OperatorLog.h"
#include "core/SafeFile.h"

#include <unistd.h>
#include <QDir>

namespace kovrin::link {

TransferLog::TransferLog(QString programFolder, const Clock& clock)
    : m_folder(std::move(programFolder)), m_clock(&clock) {}

TransferLog::TransferLog(TransferLog& shared, std::function<QString()> source)
    : m_shared(&shared), m_source(std::move(source)), m_clock(shared.m_clock) {}

TransferLog::~TransferLog() {
    m_file.close();
}

QString TransferLog::filePathFor(const QDate& day) const {
    return QDir(m_folder).filePath(
        QStringLiteral("transfer-%1.log").arg(day.toString(QStringLiteral("yyyy-MM-dd"))));
}

QString TransferLog::currentFilePath() const {
    if (m_shared) {
        return m_shared->currentFilePath();
    }
    return filePathFor(m_clock->now().date());
}

namespace {

// "HH:mm:ss.zzz"
void appendTime(QByteArray& out, const QTime& t) {
    char b[12];
    const auto two = [&b](int at, int v) {
        b[at] = char('0' + v / 10);
        b[at + 1] = char('0' + v % 10);
    };
    two(0, t.hour());
    b[2] = ':';
    two(3, t.minute());
    b[5] = ':';
    two(6, t.second());
    b[8] = '.';
    b[9] = char('0' + t.msec() / 100);
    two(10, t.msec() % 100);
    out.append(b, sizeof b);
}

// "01 FF 10 F0 ...", written straight into a buffer of its final size.
QByteArray hexText(const QByteArray& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    if (bytes.isEmpty()) {
        return {};
    }
    QByteArray out(bytes.size() * 3 - 1, ' ');
    char* p = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<quint8>(bytes[i]);
        p[3 * i] = digits[b >> 4];
        p[3 * i + 1] = digits[b & 0x0F];
    }
    return out;
}

}  // namespace

void TransferLog::line(const char* kind, QByteArrayView text, bool flush) {
    if (m_shared) {
        m_shared->write(m_source ? m_source().toUtf8() : QByteArray(), kind, text, flush);
        return;
    }
    write({}, kind, text, flush);
}

void TransferLog::write(QByteArrayView source, const char* kind, QByteArrayView text, bool flush) {
    const QDateTime now = m_clock->now();
    const QDate day = now.date();
    if (m_file.isOpen() && day != m_fileDay) {
        m_file.close();  // the day changed
    }
    if (!m_file.isOpen()) {
        const QString path = filePathFor(day);
        m_fileDay = day;
        // A log that cannot be written never stops a transfer. A link in its place is
        // refused, and the refusal told once in the operator log.
        FileResult opened;
        const int fd = files::openForAppend(GuardedPath::ofFile(path), &opened);
        if (fd < 0) {
            if (opened.refusedLink && m_refused != path) {
                m_refused = path;
                if (OperatorLog* log = Messages::operatorLog()) {
                    log->append(QStringLiteral("transfer log"),
                                QStringLiteral("The transfer log was not written: ") +
                                    opened.error + QLatin1Char('.'));
                }
            }
            return;
        }
        m_file.setFileName(path);
        if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Append,
                         QFileDevice::AutoCloseHandle)) {
            ::close(fd);
            return;
        }
    }
    QByteArray l;
    l.reserve(16 + source.size() + text.size() + 8);
    appendTime(l, now.time());
    l.append(' ');
    if (!source.isEmpty()) {
        l.append(source);
        l.append(' ');
    }
    l.append(kind);
    l.append(' ');
    l.append(text);
    l.append('\n');
    m_file.write(l);
    if (flush) {
        m_file.flush();
    }
}

void TransferLog::begin(const QString& title) {
    line("BEGIN", OperatorLog::oneLine(title).toUtf8(), true);
}

void TransferLog::sent(const QByteArray& frame) {
    line("TX", hexText(frame), false);
}

void TransferLog::sentMasked(const QByteArray& frame, const QVector<int>& masked,
                             const QString& what) {
    QByteArray text = hexText(frame);
    for (const int i : masked) {
        if (i >= 0 && i < frame.size()) {
            text[3 * i] = '*';
            text[3 * i + 1] = '*';
        }
    }
    text += " (" + what.toUtf8() + " masked)";
    line("TX", text, false);
}

void TransferLog::received(const QByteArray& bytes) {
    line("RX", hexText(bytes), false);
}

void TransferLog::event(const QString& text) {
    line("EVENT", OperatorLog::oneLine(text).toUtf8(), true);
}

void TransferLog::end(const QString& text) {
    line("END", OperatorLog::oneLine(text).toUtf8(), true);
    // Another transfer's next line opens the file again.
    (m_shared ? m_shared : this)->m_file.close();
}

}  // namespace kovrin::link
