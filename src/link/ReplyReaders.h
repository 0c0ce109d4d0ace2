#pragma once

// The terminal's replies taken one at a time from the bytes received. A terminal's replies
// can arrive in pieces, glued together, repeated, or with stray bytes between them; these
// readers cut the byte stream into replies and leave the judging of each reply (its word,
// its record number, its checksum) to the transfer.

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace kovrin::link {

// Download replies: short frames carrying "AACK", "NACK", "CLOS" or "BACK". Nothing is
// looked at before 14 bytes are in. "CLOS" or "BACK" anywhere in the text received makes
// the whole text one reply (they take precedence over everything else). Otherwise a reply
// ends after the first "AACK" or "NACK" and the byte after it (the checksum), and is at
// least 14 bytes long; the two bytes before the word are its record number. What follows a
// reply is kept only when it holds another whole word, else it is dropped as stray.
class DownloadReplyReader {
public:
    void append(QByteArrayView bytes) { m_buffer.append(bytes.data(), bytes.size()); }
    std::optional<QByteArray> next();
    // Bytes dropped since the last call.
    int takeDropped();
    bool isEmpty() const { return m_buffer.isEmpty(); }
    int size() const { return static_cast<int>(m_buffer.size()); }
    void clear() { m_buffer.clear(); }

private:
    QByteArray m_buffer;
    int m_dropped = 0;
};

// Upload replies: 137-byte frames that start with the sync bytes 01 FF 10 F0, or a short
// text holding "NACK". Bytes before a sync that follows them are stray and dropped; a text
// that does not start with the sync is taken from its first byte (a garbled sync byte).
class UploadReplyReader {
public:
    enum class Kind { Frame, Nack };
    struct Reply {
        Kind kind = Kind::Frame;
        QByteArray bytes;
    };

    void append(QByteArrayView bytes) { m_buffer.append(bytes.data(), bytes.size()); }
    std::optional<Reply> next();
    // Drops everything held (counted as dropped).
    void discard();
    int takeDropped();
    bool isEmpty() const { return m_buffer.isEmpty(); }
    int size() const { return static_cast<int>(m_buffer.size()); }
    void clear() { m_buffer.clear(); }

private:
    QByteArray m_buffer;
    int m_dropped = 0;
};

}  // namespace kovrin::link
