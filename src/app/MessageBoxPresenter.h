#pragma once

#include "app/Messages.h"

namespace kovrin {

// Shows a message request as a modal QMessageBox: the program's presenter.
MsgAnswer showMessageBox(const MessageRequest& request);

}  // namespace kovrin
