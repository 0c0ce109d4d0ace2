#pragma once

#include "core/MessageRequest.h"

#include <QString>

namespace kovrin {

class OperatorLog;

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
