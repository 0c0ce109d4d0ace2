#include "support/MessageRecorder.h"

namespace kovrin::test {

MessageRecorder::MessageRecorder() {
    Messages::setPresenter([this](const MessageRequest& r) {
        messages.push_back(r);
        if (m_whileShown) {
            m_whileShown(r);
        }
        if (!m_answers.isEmpty()) {
            return m_answers.dequeue();
        }
        return r.buttons == MsgButtons::YesNo ? MsgAnswer::Yes : MsgAnswer::Ok;
    });
}

MessageRecorder::~MessageRecorder() {
    Messages::setPresenter(nullptr);
}

QStringList MessageRecorder::texts() const {
    QStringList t;
    for (const auto& m : messages) {
        t << m.text;
    }
    return t;
}

int MessageRecorder::count(const QString& text) const {
    return texts().count(text);
}

}  // namespace kovrin::test
