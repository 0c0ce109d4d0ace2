#pragma once

#include "core/MessageRequest.h"

#include <QString>
#include <QStringList>

namespace kovrin {

class ProgramFolder;

// The folders of an installed program are shared by the operators of a PC through a group of
// their own ("kovrin" in the Debian package: /var/lib/kovrin and /var/log/kovrin, root:kovrin,
// mode 2770), and the serial ports belong to the group "dialout". Everything the program makes
// there is for the group and no one else.

// The group that may use the serial ports.
constexpr char kPortGroup[] = "dialout";

// Creates the folder when it is missing and checks that the program may read and write in
// it. Returns what stops the program, naming the folder (`what`: "program folder", "log
// folder") and the system's reason, or an empty text when the folder can be used.
QString prepareProgramFolder(const QString& path,
                             const QString& what = QStringLiteral("program folder"));

// The name of the group through which the operators of a PC share `folder`: its group when
// the group may write in it and the folder is not private to its owner's own group. Empty for
// a private folder (the portable program in an operator's home, a test's folder) or a folder
// that does not exist.
QString sharingGroup(const QString& folder);

// Root may not work in a shared folder: what it made there would belong to root and shut the
// operators out, and a link an operator put there would make root write any file of the PC.
// The refusal for `folders` (the program folder and the log folder), or an empty text when
// the program does not run as root or no folder is shared. Looks at nothing but the folders
// themselves.
QString rootRefusal(const QStringList& folders);

// What decides whether the operator is told to join the groups.
struct GroupFacts {
    QString user;            // the account the program runs as
    QString folder;          // the program folder
    QString folderGroup;     // the group sharing it (sharingGroup()), empty when private
    bool superUser = false;  // root is refused apart (rootRefusal())
    // The groups of the operators (the folder's, then the ports'), each: does the program run
    // with it now, is the account a member (perhaps only since it logged in).
    QStringList groups;
    QList<bool> inProcess;
    QList<bool> inAccount;
};

// The facts for `folder` and the program's own account.
GroupFacts groupFacts(const QString& folder);

// What the operator must do to use a shared folder and the serial ports (one message naming
// the command for both groups), or an empty text when nothing is missing.
QString groupAdvice(const GroupFacts& facts);

// Shows the advice of groupAdvice() to the operator, once, through the message seam, and
// writes it to the operator log when the folder allows.
void showGroupAdvice(const ProgramFolder& folder, const QString& advice,
                     MsgIcon icon = MsgIcon::Warning);

// The process's file-creation mask for work in `folder`: nothing for others anywhere, and in
// a shared folder everything for the group (umask 007).
void useGroupPermissions(const ProgramFolder& folder);

}  // namespace kovrin
