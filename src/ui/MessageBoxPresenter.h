#pragma once

#include "core/Messages.h"

namespace kovrin {

// Shows a message request as a modal QMessageBox: the program's presenter.
MsgAnswer showMessageBox(const MessageRequest& request);

// Prints a request on standard output, one line per message (line breaks as spaces), and
// answers it with its first button. Tests that start the program itself read its messages
// this way; an operator never sees it.
MsgAnswer printMessage(const MessageRequest& request);

}  // namespace kovrin
