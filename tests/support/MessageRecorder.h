#pragma once

#include "core/Messages.h"

#include <QList>
#include <QQueue>
#include <QStringList>
#include <functional>

namespace kovrin::test {

// Replaces the program's message boxes for the life of the object: records every message
// and answers each from a queue of answers (Ok, or the first button, when it is empty).
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();

    QList<MessageRequest> messages;

    // Answers for the next prompts, in order.
    void answerNext(MsgAnswer answer) { m_answers.enqueue(answer); }
    // Runs while a message is "on screen" (before it is answered), e.g. to pump events.
    void whileShown(std::function<void(const MessageRequest&)> fn) { m_whileShown = std::move(fn); }

    QStringList texts() const;
    int count(const QString& text) const;
    const MessageRequest& last() const { return messages.last(); }
    void clear() { messages.clear(); }

private:
    QQueue<MsgAnswer> m_answers;
    std::function<void(const MessageRequest&)> m_whileShown;
};

}  // namespace kovrin::test
