#include "Terminal.h"

#include "link/Frame.h"

namespace kovrin::sim {

using namespace kovrin::link;

namespace {

// Takes a once-only fault for the record: true the first time only.
bool take(QSet<int>& set, int recordNo) {
    return set.remove(recordNo);
}

QString describe(const QByteArray& frame, int recordNo) {
    if (frame.size() == kShortFrameSize) {
        return QStringLiteral("%1 frame \"%2\" record %3")
            .arg(QChar(frame[4]))
            .arg(QString::fromLatin1(frame.mid(9, 4)))
            .arg(recordNo);
    }
    if (frame.size() == kRequestFrameSize) {
        return QStringLiteral("request for record %1").arg(recordNo);
    }
    return QStringLiteral("%1 frame record %2").arg(QChar(frame[4])).arg(recordNo);
}

bool shortFrameChecksumOk(const QByteArray& f) {
    return checksumOf(QByteArrayView(f).sliced(kHeaderSize, 4)) == static_cast<quint8>(f[13]);
}

}  // namespace

Terminal::Terminal(const TerminalConfig& config, QObject* parent)
    : QObject(parent), m_config(config), m_faults(config.faults), m_rng(config.faults.seed) {
    m_outbox.setPaced(config.paced);
    connect(&m_outbox, &Outbox::output, this, [this](const QByteArray& bytes) {
        m_sent.append(bytes);
        emit output(bytes);
    });
    m_partialTimer.setSingleShot(true);
    connect(&m_partialTimer, &QTimer::timeout, this, [this] {
        if (m_assembler.hasPartial()) {
            emit log(QStringLiteral("incomplete frame thrown away"));
            m_assembler.discardPartial();
        }
    });
}

void Terminal::feed(const QByteArray& bytes) {
    m_assembler.append(bytes);
    while (const std::optional<QByteArray> frame = m_assembler.next()) {
        onFrame(*frame);
    }
    if (m_assembler.hasPartial()) {
        m_partialTimer.start(m_config.partialTimeoutMs);
    } else {
        m_partialTimer.stop();
    }
}

void Terminal::onFrame(const QByteArray& frame) {
    const int rec = recordNumberOf(frame).value_or(0);
    const char mode = m_config.mode == Mode::Download ? kModeDownload : kModeUpload;
    // 10 bits a byte at 19200 baud, rounded up.
    m_crossMs = m_config.crossing ? int((frame.size() * 10 * 1000 + 19199) / 19200) : 0;
    m_received.append(frame);
    emit frameReceived(frame);

    // Faults that lose or refuse the frame: it is not taken.
    if (m_faults.silentFirst > 0) {
        --m_faults.silentFirst;
        emit log(QStringLiteral("%1: no answer (silent)").arg(describe(frame, rec)));
        return;
    }
    if (m_faults.silentAt.value(rec) > 0) {
        if (--m_faults.silentAt[rec] == 0) {
            m_faults.silentAt.remove(rec);
        }
        emit log(QStringLiteral("%1: no answer (silent-at)").arg(describe(frame, rec)));
        return;
    }
    for (const auto& [set, word] :
         {std::pair{&m_faults.closAt, "CLOS"}, std::pair{&m_faults.backAt, "BACK"},
          std::pair{&m_faults.nackAt, "NACK"}}) {
        if (take(*set, rec)) {
            emit log(QStringLiteral("%1: answered %2 (fault)").arg(describe(frame, rec), word));
            send(buildShortFrame(mode, static_cast<quint16>(rec), word));
            return;
        }
    }

    const bool wasEnded = m_ended;
    QByteArray reply =
        m_config.mode == Mode::Download ? answerDownload(frame, rec) : answerUpload(frame, rec);
    if (!reply.isEmpty()) {
        if (take(m_faults.wrongNumberAt, rec)) {
            const int wrong = (rec + 1) % 65536;
            reply[7] = static_cast<char>(wrong / 256);
            reply[8] = static_cast<char>(wrong % 256);
            emit log(QStringLiteral("record %1 answered as record %2 (fault)").arg(rec).arg(wrong));
        }
        if (take(m_faults.badChecksumAt, rec)) {
            reply.back() = static_cast<char>(static_cast<quint8>(reply.back()) + 1);
            emit log(QStringLiteral("record %1 answered with a wrong checksum (fault)").arg(rec));
        }
        // A reply glued to the next one leaves this record's late, twice and stray faults
        // for the next time it is answered.
        if (take(m_faults.glueAt, rec)) {
            m_held.append(reply);
            emit log(QStringLiteral("answer to record %1 held back (glue)").arg(rec));
        } else {
            sendAnswer(rec, reply);
        }
    }
    if (m_ended && !wasEnded) {
        emit ended();
    }
}

QByteArray Terminal::answerDownload(const QByteArray& frame, int rec) {
    if (frame[4] != kModeDownload || frame.size() == kRequestFrameSize) {
        emit log(QStringLiteral("%1: ignored in download mode").arg(describe(frame, rec)));
        return {};
    }
    const quint16 r = static_cast<quint16>(rec);
    if (frame.size() == kShortFrameSize) {
        if (!shortFrameChecksumOk(frame)) {
            emit log(QStringLiteral("%1: wrong checksum, NACK").arg(describe(frame, rec)));
            return buildShortFrame(kModeDownload, r, "NACK");
        }
        if (findWord(frame, "OVER") != 10) {
            emit log(QStringLiteral("%1: ignored").arg(describe(frame, rec)));
            return {};
        }
        // The terminal takes the download as complete only when it acknowledges an end
        // frame; until then the PC has to send it again.
        if (m_faults.silentEnd > 0) {
            --m_faults.silentEnd;
            emit log(QStringLiteral("end frame: no answer (fault)"));
            return {};
        }
        if (m_faults.nackEnd > 0) {
            --m_faults.nackEnd;
            emit log(QStringLiteral("end frame: answered NACK (fault)"));
            return buildShortFrame(kModeDownload, r, "NACK");
        }
        emit log(QStringLiteral("end frame: AACK, download complete"));
        m_ended = true;
        return buildShortFrame(kModeDownload, r, "AACK");
    }
    if (!CheckCRC(frame)) {
        emit log(QStringLiteral("%1: wrong checksum, NACK").arg(describe(frame, rec)));
        return buildShortFrame(kModeDownload, r, "NACK");
    }
    if (rec == 0) {
        m_header = frame;
    } else {
        m_accounts[rec] = frame;
    }
    emit log(QStringLiteral("%1: AACK").arg(describe(frame, rec)));
    return buildShortFrame(kModeDownload, r, "AACK");
}

QByteArray Terminal::answerUpload(const QByteArray& frame, int rec) {
    const quint16 r = static_cast<quint16>(rec);
    if (frame[4] != kModeUpload) {
        emit log(QStringLiteral("%1: not in download mode, CLOS").arg(describe(frame, rec)));
        return buildShortFrame(kModeUpload, r, "CLOS");
    }
    if (frame.size() == kShortFrameSize) {
        if (shortFrameChecksumOk(frame) && findWord(frame, "OVER") == 10) {
            emit log(QStringLiteral("OVER frame: upload complete"));
            m_ended = true;
        } else {
            emit log(QStringLiteral("%1: ignored").arg(describe(frame, rec)));
        }
        return {};
    }
    if (frame.size() != kRequestFrameSize) {
        emit log(QStringLiteral("%1: ignored in upload mode").arg(describe(frame, rec)));
        return {};
    }
    if (frame[9] != '\0') {
        emit log(QStringLiteral("%1: wrong check byte, NACK").arg(describe(frame, rec)));
        return buildShortFrame(kModeUpload, r, "NACK");
    }
    if (rec < m_uploadFrames.size()) {
        emit log(QStringLiteral("request for record %1: served").arg(rec));
        return m_uploadFrames[rec];
    }
    emit log(QStringLiteral("request for record %1: beyond the last record").arg(rec));
    switch (m_config.beyond) {
        case Beyond::Zero: {
            QByteArray zero = frameHeader(kModeUpload, kLongLength, r);
            zero.append(QByteArray(kLongFrameSize - kHeaderSize, '\0'));
            return zero;
        }
        case Beyond::Silent:
            return {};
        case Beyond::Nack:
            return buildShortFrame(kModeUpload, r, "NACK");
        case Beyond::Last:
            return m_uploadFrames.isEmpty() ? QByteArray() : m_uploadFrames.last();
    }
    return {};
}

void Terminal::sendAnswer(int rec, const QByteArray& reply) {
    // The terminal writes its answers in order: a late one holds back those queued after it.
    const int lateMs = m_faults.lateAt.take(rec);
    if (lateMs > 0) {
        emit log(
            QStringLiteral("answer to record %1 held back %2 ms (fault)").arg(rec).arg(lateMs));
    }
    send(reply, lateMs);
    if (take(m_faults.twiceAt, rec)) {
        emit log(QStringLiteral("answer to record %1 sent twice (fault)").arg(rec));
        send(reply);
    }
    if (const int stray = m_faults.strayAt.take(rec); stray > 0) {
        emit log(QStringLiteral("%1 stray byte(s) after the answer to record %2 (fault)")
                     .arg(stray)
                     .arg(rec));
        m_outbox.enqueue(strayBytes(stray));
    }
}

void Terminal::send(const QByteArray& reply, int delayMs) {
    const QByteArray bytes = corrupt(m_held + reply);
    m_held.clear();
    delayMs += m_crossMs;  // the first answer to a frame waits until it has crossed the line
    m_crossMs = 0;
    const int pieces = std::min<int>(m_config.faults.splitPieces, static_cast<int>(bytes.size()));
    if (pieces <= 1) {
        m_outbox.enqueue(bytes, delayMs);
        return;
    }
    const qsizetype size = (bytes.size() + pieces - 1) / pieces;
    for (qsizetype from = 0; from < bytes.size(); from += size) {
        m_outbox.enqueue(bytes.mid(from, size), from == 0 ? delayMs : m_config.faults.splitDelayMs);
    }
}

QByteArray Terminal::corrupt(QByteArray bytes) {
    const double rate = m_config.faults.corruptRate;
    const double drop = m_config.faults.dropRate;
    if (rate <= 0.0 && drop <= 0.0) {
        return bytes;
    }
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    std::uniform_int_distribution<int> flip(1, 255);
    int changed = 0;
    if (rate > 0.0) {
        for (char& c : bytes) {
            if (chance(m_rng) < rate) {
                c = static_cast<char>(static_cast<quint8>(c) ^ flip(m_rng));
                ++changed;
            }
        }
    }
    int lost = 0;
    if (drop > 0.0) {
        QByteArray kept;
        kept.reserve(bytes.size());
        for (const char c : bytes) {
            if (chance(m_rng) < drop) {
                ++lost;
            } else {
                kept.append(c);
            }
        }
        bytes = kept;
    }
    if (changed > 0) {
        emit log(QStringLiteral("%1 byte(s) of the answer corrupted").arg(changed));
    }
    if (lost > 0) {
        emit log(QStringLiteral("%1 byte(s) of the answer lost").arg(lost));
    }
    return bytes;
}

}  // namespace kovrin::sim
