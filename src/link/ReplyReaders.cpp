#include "link/ReplyReaders.h"

#include "link/Frame.h"

namespace kovrin::link {

namespace {

const QByteArray kSync = QByteArray::fromHex("01FF10F0");

// 0-based index of the first "AACK" or "NACK", -1 when there is none.
int firstAnswerWord(QByteArrayView text) {
    const int ack = findWord(text, "AACK");
    const int nack = findWord(text, "NACK");
    if (ack == 0 && nack == 0) {
        return -1;
    }
    if (ack == 0 || (nack != 0 && nack < ack)) {
        return nack - 1;
    }
    return ack - 1;
}

// Text without any word, longer than this, is noise; its tail is kept in case a reply
// begins there.
constexpr int kNoiseLimit = 64;
constexpr int kNoiseTail = kShortFrameSize;

}  // namespace

std::optional<QByteArray> DownloadReplyReader::next() {
    if (m_buffer.size() < kShortFrameSize) {
        return std::nullopt;
    }
    if (findWord(m_buffer, "CLOS") > 0 || findWord(m_buffer, "BACK") > 0) {
        QByteArray reply = m_buffer;
        m_buffer.clear();
        return reply;
    }
    const int at = firstAnswerWord(m_buffer);
    if (at < 0) {
        if (m_buffer.size() > kNoiseLimit) {
            m_dropped += static_cast<int>(m_buffer.size()) - kNoiseTail;
            m_buffer.remove(0, m_buffer.size() - kNoiseTail);
        }
        return std::nullopt;
    }
    // The word, the checksum byte after it, and at least the 14 bytes of a reply.
    const qsizetype end = qMin<qsizetype>(m_buffer.size(), qMax(at + 5, kShortFrameSize));
    QByteArray reply = m_buffer.left(end);
    m_buffer.remove(0, end);
    if (!m_buffer.isEmpty() && firstAnswerWord(m_buffer) < 0 && findWord(m_buffer, "CLOS") == 0 &&
        findWord(m_buffer, "BACK") == 0) {
        m_dropped += static_cast<int>(m_buffer.size());
        m_buffer.clear();
    }
    return reply;
}

int DownloadReplyReader::takeDropped() {
    const int n = m_dropped;
    m_dropped = 0;
    return n;
}

std::optional<UploadReplyReader::Reply> UploadReplyReader::next() {
    if (!m_buffer.isEmpty() && !m_buffer.startsWith(kSync)) {
        const qsizetype sync = m_buffer.indexOf(kSync, 1);
        if (sync > 0) {
            m_dropped += static_cast<int>(sync);
            m_buffer.remove(0, sync);
        }
    }
    if (m_buffer.size() >= kLongFrameSize) {
        Reply r{Kind::Frame, m_buffer.left(kLongFrameSize)};
        m_buffer.remove(0, kLongFrameSize);
        return r;
    }
    if (findWord(m_buffer, "NACK") > 0) {
        Reply r{Kind::Nack, m_buffer};
        m_buffer.clear();
        return r;
    }
    return std::nullopt;
}

void UploadReplyReader::discard() {
    m_dropped += static_cast<int>(m_buffer.size());
    m_buffer.clear();
}

int UploadReplyReader::takeDropped() {
    const int n = m_dropped;
    m_dropped = 0;
    return n;
}

}  // namespace kovrin::link
