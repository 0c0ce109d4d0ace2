#pragma once

#include "core/AppSettings.h"
#include "core/Messages.h"
#include "db/BankDataStore.h"
#include "db/Database.h"

#include <QString>
#include <QVector>
#include <optional>

namespace kovrin {

// What the operator typed on the download screen.
struct DownloadEntries {
    QString agent;         // up to 3 digits
    QString date;          // ddmm
    QString transactions;  // one digit 0-7, or empty
};

// A download file read and checked, ready to be stored and sent.
struct PreparedDownload {
    QString path;              // the file found in the bank folder
    QString fileName;          // the path without its root, as stored with the accounts
    QString agentId;           // as read from the file's last record
    QString branchId;          // as read from the file's last record
    QString transactionDigit;  // the number of transactions; "1" when the entry was empty
    QString downloadKey;       // the agent number "000" followed by the ddmm typed
    TextEncoding encoding = TextEncoding::Latin1;  // the file's: its uploads' files are in it
    QVector<BankDataRow> rows;                     // the accounts, in file order
    // Text the terminal cannot show, replaced by "?": how many accounts and fields it touched.
    int accountsWithReplacedText = 0;
    int replacedFields = 0;
};

// The steps of a download before the terminal is reached: the entries are checked (the date
// must be a day of a month), the bank's file is found and read, it must hold accounts and
// every one of them must belong to the agent typed, and every account is checked against
// what its frame can carry, so that a download that cannot be sent whole is refused before
// the port is opened and before anything is stored. Then the agent's accounts are stored in
// one transaction.
class DownloadImport {
public:
    enum class Entry { Agent, Date };

    // The file ready to send, or why not: the message for the operator, its icon, and the
    // entry that gets the focus back.
    struct Result {
        std::optional<PreparedDownload> download;
        QString message;
        MsgIcon icon = MsgIcon::Critical;
        std::optional<Entry> focus;
    };

    DownloadImport(const AppSettings& settings, QString programFolder);

    Result prepare(const DownloadEntries& entries) const;

    // True for a ddmm text that is a day of a month: 4 digits, month 01-12, day from 01 to the
    // month's last day. The year is not known, so 29 February is a day.
    static bool isDayAndMonth(const QString& ddmm);

    // True when an agent identifier of the file names the agent typed on the screen, compared
    // as everywhere (db/AgentKey.h): numbers by value (leading zeros and blanks do not count:
    // "005", "5" and "  5" are agent 5); an identifier that is not a number must equal the
    // typed text.
    static bool sameAgent(const QString& fileAgentId, const QString& typedAgent);

    // The line added to the completion message when text was replaced; empty when none was.
    static QString replacedTextNote(const PreparedDownload& download);

    // Store_BankData: the agent's earlier rows (whatever their file) replaced by the accounts
    // of this file, and the file's encoding kept for the agent's uploads, in one transaction.
    static DbStatus store(Database& db, const PreparedDownload& download);

private:
    const AppSettings& m_settings;
    QString m_programFolder;
};

}  // namespace kovrin
