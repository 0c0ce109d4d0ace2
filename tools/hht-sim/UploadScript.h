#pragma once

// The day's collections a simulated terminal serves in upload mode, read from a plain text
// file a person can write by hand (the format is described in README.md):
//
//   agent 12
//   date 0712
//   account S DD001 000000000012345
//   txn 500 07/12/2026 10:15 1
//   account S DD001 000000000067890 no-transactions
//   fault late-at 3:1300

#include "Faults.h"
#include "TerminalFrames.h"

#include <QByteArray>
#include <QString>
#include <QVector>
#include <optional>

namespace kovrin::sim {

struct ScriptAccount {
    int line = 0;
    QString category;  // 1 character
    QString scheme;    // up to 5, padded with spaces
    QString account;   // up to 15, padded with spaces
    bool noTransactions = false;
    QVector<CollectedTransaction> transactions;
};

// A "fault <name> <value>" line: a fault setting as the command line spells it.
struct ScriptFault {
    int line = 0;
    QString name;
    QString value;
};

struct UploadScript {
    QString agentNumber;                   // 3 digits
    QString agentId;                       // 15 characters
    QString ddmm;                          // 4 digits
    std::optional<int> recordCount;        // count frame; default: the transaction frames
    std::optional<int> totalTransactions;  // header; default: the transactions listed
    std::optional<qint64> totalAmount;     // header; default: their sum
    QVector<ScriptAccount> accounts;
    QVector<ScriptFault> faults;  // in the order of the script

    QString agentDateKey() const { return agentNumber + ddmm; }
};

struct ScriptResult {
    bool ok = false;
    UploadScript script;
    QString error;  // "line 7: ..." for a bad line
};

ScriptResult parseUploadScript(const QString& text);
ScriptResult loadUploadScript(const QString& path);

// Adds the script's fault lines to the terminal's faults, after those already there (a
// setting of one value, such as a seed, is then the script's).
void applyScriptFaults(const UploadScript& script, Faults& faults);

// The frames of the upload, indexed by record number: count frame, header frame, then the
// transaction frames in the order of the script (an account with more than 7 transactions
// goes on in further frames of the same account).
struct UploadFrames {
    bool ok = false;
    QString error;
    QVector<QByteArray> frames;
};

UploadFrames buildUploadFrames(const UploadScript& script);

}  // namespace kovrin::sim
