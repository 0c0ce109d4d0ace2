#include "core/Messages.h"

#include "core/OperatorLog.h"

namespace kovrin {

namespace {
MessagePresenter& presenter() {
    static MessagePresenter p;
    return p;
}
OperatorLog*& logPtr() {
    static OperatorLog* l = nullptr;
    return l;
}
}  // namespace

QString Messages::programTitle() {
    return QStringLiteral("Kovrin Hand-Held Interface Software");
}

MsgAnswer Messages::show(const MessageRequest& request) {
    MessageRequest r = request;
    if (r.title.isEmpty()) {
        r.title = programTitle();
    }
    if (OperatorLog* log = logPtr()) {
        log->append(r.screen, r.text);
    }
    if (!presenter()) {
        // Every program and test installs one: a message nobody sees is a fault, never an
        // answer to make up.
        qFatal("A message was shown with no presenter installed (screen %s): %s",
               qPrintable(r.screen), qPrintable(r.text));
    }
    return presenter()(r);
}

void Messages::info(const QString& screen, const QString& text, const QString& title) {
    show({screen, text, MsgIcon::Information, MsgButtons::Ok, title});
}

void Messages::critical(const QString& screen, const QString& text, const QString& title) {
    show({screen, text, MsgIcon::Critical, MsgButtons::Ok, title});
}

void Messages::plain(const QString& screen, const QString& text, const QString& title) {
    show({screen, text, MsgIcon::None, MsgButtons::Ok, title});
}

void Messages::setPresenter(MessagePresenter p) {
    presenter() = std::move(p);
}

void Messages::setOperatorLog(OperatorLog* log) {
    logPtr() = log;
}

OperatorLog* Messages::operatorLog() {
    return logPtr();
}

}  // namespace kovrin
