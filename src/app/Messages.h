#pragma once

#include <QString>
#include <functional>

namespace kovrin {

class OperatorLog;

enum class MsgIcon { None, Information, Critical, Question, Warning };
enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgAnswer { Ok, Cancel, Yes, No };

// One message box: what the operator sees and which screen raised it.
struct MessageRequest {
    QString screen;  // objectName of the screen that raises the message
    QString text;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
    QString title;  // empty: the program's title
};

// Shows a request and returns the operator's answer. The program installs one that
// shows a modal message box; tests install a recorder. A message shown with none installed
// stops the process with the message's text.
using MessagePresenter = std::function<MsgAnswer(const MessageRequest&)>;

// The one way the program shows a message box. Every message is also written to the
// operator log (when one is attached) before it is shown; the log never replaces the box.
class Messages {
public:
    static MsgAnswer show(const MessageRequest& request);

    // Shorthands for the common boxes.
    static void info(const QString& screen, const QString& text, const QString& title = {});
    static void critical(const QString& screen, const QString& text, const QString& title = {});
    static void plain(const QString& screen, const QString& text, const QString& title = {});

    static void setPresenter(MessagePresenter presenter);
    static void setOperatorLog(OperatorLog* log);
    static OperatorLog* operatorLog();

    static QString programTitle();
};

}  // namespace kovrin
