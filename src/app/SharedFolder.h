#pragma once

#include "core/MessageRequest.h"

#include <QString>

namespace kovrin {

class ProgramFolder;

// The program folder as an installed program shares it between the operators of a PC: owned
// by the group "dialout" (the group that may use the serial ports), writable by it and
// set-group-id, so that everything created in it belongs to that group.

// Creates the folder when it is missing and checks that the program may read and write in
// it. Returns what stops the program, naming the folder and the system's reason, or an empty
// text when the folder can be used.
QString prepareProgramFolder(const QString& path);

// What decides whether the operator is told to join the group.
struct GroupFacts {
    QString user;                  // the account the program runs as
    QString folder;                // the program folder
    bool superUser = false;        // root may use the folder and the ports anyway
    bool folderOfGroup = false;    // the folder belongs to the group dialout
    bool inProcessGroups = false;  // the program runs with the group
    bool inAccountGroups = false;  // the account is a member, perhaps only since it logged in
};

// The facts for `folder` and the program's own account.
GroupFacts groupFacts(const QString& folder);

// What the operator must do to use a folder of the group dialout, or an empty text when
// nothing is missing.
QString groupAdvice(const GroupFacts& facts);

// Shows the advice of groupAdvice() to the operator, once, through the message seam, and
// writes it to the operator log when the folder allows.
void showGroupAdvice(const ProgramFolder& folder, const QString& advice,
                     MsgIcon icon = MsgIcon::Warning);

// In a set-group-id folder, what the program creates is for the group: the group's bits are
// cleared from the process's file-creation mask.
void useGroupPermissions(const ProgramFolder& folder);

// SQLite creates a database readable only by its group: in a set-group-id folder, the
// database is created before the start-up opens it (when it is missing), and its owner gives
// the group write permission.
void shareDatabaseWithGroup(const ProgramFolder& folder);

}  // namespace kovrin
