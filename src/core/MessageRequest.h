#pragma once

// A message for the operator, as the layers below the screens hand one up: what it says,
// its icon and buttons, and the screen that raises it. Shown through Messages (core) or a
// presenter handed in from outside.

#include <QString>
#include <functional>

namespace kovrin {

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
    // A Yes/No question whose safe answer is No: No is the default button (Enter, Escape).
    bool defaultNo = false;
};

// Shows a request and returns the operator's answer. The program installs one that
// shows a modal message box; tests install a recorder. A message shown with none installed
// stops the process with the message's text.
using MessagePresenter = std::function<MsgAnswer(const MessageRequest&)>;

}  // namespace kovrin
