#include "download/DownloadImport.h"

#include "core/SafeFile.h"
#include "download/DownloadFile.h"
#include "link/DownloadFrames.h"

#include <QDir>
#include <algorithm>

#include <algorithm>

namespace kovrin {

namespace {

const QString kNothingDone = QStringLiteral("Nothing was stored and nothing was sent.");

// Up to 40 characters of a line as the operator can read them in a message: control
// characters written as their code in hexadecimal ("<09>" for a tab), a longer line cut.
QString visibleStart(const QString& line) {
    constexpr int kShown = 40;
    QString out;
    for (const QChar c : QStringView(line).left(kShown)) {
        if (c.category() == QChar::Other_Control) {
            out += QStringLiteral("<%1>").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        } else {
            out += c;
        }
    }
    if (line.size() > kShown) {
        out += QStringLiteral("...");
    }
    return out;
}

bool allDigits(const QString& s) {
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
}

QString withoutLeadingZeros(const QString& digits) {
    qsizetype i = 0;
    while (i + 1 < digits.size() && digits[i] == QLatin1Char('0')) {
        ++i;
    }
    return digits.mid(i);
}

}  // namespace

bool DownloadImport::isDayAndMonth(const QString& ddmm) {
    if (ddmm.size() != 4 || !allDigits(ddmm)) {
        return false;
    }
    const int day = QStringView(ddmm).left(2).toInt();
    const int month = QStringView(ddmm).mid(2).toInt();
    static constexpr int kLastDay[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month >= 1 && month <= 12 && day >= 1 && day <= kLastDay[month - 1];
}

bool DownloadImport::sameAgent(const QString& fileAgentId, const QString& typedAgent) {
    const QString id = fileAgentId.trimmed();
    const QString typed = typedAgent.trimmed();
    if (allDigits(id) && allDigits(typed)) {
        return withoutLeadingZeros(id) == withoutLeadingZeros(typed);
    }
    return id.compare(typed, Qt::CaseInsensitive) == 0;
}

QString DownloadImport::replacedTextNote(const PreparedDownload& download) {
    if (download.replacedFields == 0) {
        return {};
    }
    const QString accounts =
        download.accountsWithReplacedText == 1
            ? QStringLiteral("1 account")
            : QStringLiteral("%1 accounts").arg(download.accountsWithReplacedText);
    const QString fields = download.replacedFields == 1
                               ? QStringLiteral("1 field")
                               : QStringLiteral("%1 fields").arg(download.replacedFields);
    return QStringLiteral(
               "%1 had characters the terminal cannot show (in %2); each was stored "
               "and sent as \"?\".")
        .arg(accounts, fields);
}

DownloadImport::DownloadImport(const AppSettings& settings, QString programFolder)
    : m_settings(settings), m_programFolder(std::move(programFolder)) {}

DownloadImport::Result DownloadImport::prepare(const DownloadEntries& entries) const {
    const QString agent = entries.agent.trimmed();
    const QString date = entries.date.trimmed();
    // An agent that is not a number is asked for again rather than read as agent "000".
    const bool agentDigits = std::all_of(agent.begin(), agent.end(), [](QChar c) {
        return c >= QLatin1Char('0') && c <= QLatin1Char('9');
    });
    if (agent.isEmpty() || !agentDigits) {
        return {std::nullopt, QStringLiteral("Enter Agent ID"), MsgIcon::Information, Entry::Agent};
    }
    if (date.size() < 4) {
        return {std::nullopt, QStringLiteral("Enter Date"), MsgIcon::Information, Entry::Date};
    }
    if (!isDayAndMonth(date)) {
        return {std::nullopt,
                QStringLiteral("%1 is not a day and month. Enter the date as ddmm, for example "
                               "2503 for 25 March.")
                    .arg(date),
                MsgIcon::Information, Entry::Date};
    }

    PreparedDownload d;
    d.transactionDigit = entries.transactions.trimmed().isEmpty() ? QStringLiteral("1")
                                                                  : entries.transactions.trimmed();
    const QString agentNumber = QStringLiteral("%1").arg(agent.toInt(), 3, 10, QLatin1Char('0'));
    d.downloadKey = agentNumber + date;

    d.path = findDownloadFile(downloadFilePath(m_settings.BankInfoPath, agentNumber, date));
    if (d.path.isEmpty()) {
        return {std::nullopt, QStringLiteral("File does not exist!"), MsgIcon::Critical, {}};
    }
    const QString downLoadData = QDir(m_programFolder).filePath(QStringLiteral("DownLoadData"));
    if (const FileResult made =
            files::makeFolder(GuardedPath(m_programFolder, QStringLiteral("DownLoadData")));
        !made) {
        return {std::nullopt,
                QStringLiteral("The folder %1 could not be created: %2. Check that the program "
                               "folder can be written to.")
                    .arg(QDir::toNativeSeparators(downLoadData), made.error),
                MsgIcon::Critical,
                {}};
    }

    DownloadFileContents contents = readDownloadFile(d.path);
    switch (contents.status) {
        case DownloadFileContents::Status::Ok:
            break;
        case DownloadFileContents::Status::ReadError:
            return {std::nullopt,
                    QStringLiteral("The file %1 could not be read: %2")
                        .arg(QDir::toNativeSeparators(d.path), contents.error),
                    MsgIcon::Critical,
                    {}};
        case DownloadFileContents::Status::FormatError:
            return {std::nullopt,
                    QStringLiteral("Error in DATA FORMAT\nLine %1: \"%2\"")
                        .arg(QString::number(contents.errorLine), visibleStart(contents.errorText)),
                    MsgIcon::None,
                    {}};
        case DownloadFileContents::Status::TooManyRecords:
            return {
                std::nullopt,
                QStringLiteral("No.of records has exceeded 2000,Please check the DownLoad File"),
                MsgIcon::Critical,
                {}};
    }

    const QString file = QDir::toNativeSeparators(d.path);
    if (contents.records.isEmpty()) {
        return {std::nullopt,
                QStringLiteral("The download file %1 is empty: it holds no account records.\n"
                               "Ask the bank for the file again. %2")
                    .arg(file, kNothingDone),
                MsgIcon::Critical,
                {}};
    }

    // Every record must belong to the agent typed: a file put in the wrong place would load
    // another agent's depositors into this terminal. A record repaired from a broken line may
    // end before the agent's columns; it belongs to the file's agent. The rows are stored with
    // the identifier of the last record that names the agent.
    QString agentId;
    for (const DownloadRecord& r : contents.records) {
        if (r.AgentID.trimmed().isEmpty()) {
            continue;
        }
        if (!sameAgent(r.AgentID, agent)) {
            return {
                std::nullopt,
                QStringLiteral("The download file %1 holds the accounts of agent %2 (line "
                               "%3), not of agent %4.\nCheck the agent ID, or ask the bank "
                               "for the file of agent %4. %5")
                    .arg(file, r.AgentID.trimmed(), QString::number(r.line), agent, kNothingDone),
                MsgIcon::Critical,
                {}};
        }
        agentId = r.AgentID;
    }
    if (agentId.isEmpty()) {
        return {std::nullopt,
                QStringLiteral("The download file %1 does not name its agent: no record has an "
                               "agent ID in columns 124-138.\nAsk the bank for the file again. "
                               "%2")
                    .arg(file, kNothingDone),
                MsgIcon::Critical,
                {}};
    }

    // Every account is checked now, as its frame will carry it: a value the terminal cannot
    // take stops the download before anything is stored or sent.
    for (const DownloadRecord& r : contents.records) {
        const link::BuildResult built =
            link::buildAccountFrame(2, {r.CategoryCode, r.SchemeCode, r.ACNumber, r.ACName,
                                        r.BalAmount, r.AgreedAmount, r.OpeningDate, r.Txndate});
        if (!built.ok) {
            return {std::nullopt,
                    QStringLiteral("The account %1 on line %2 of %3 cannot be sent to the "
                                   "terminal: %4.\nCorrect the download file and press Send "
                                   "again. %5")
                        .arg(r.ACNumber.trimmed(), QString::number(r.line), file, built.reason,
                             kNothingDone),
                    MsgIcon::Critical,
                    {}};
        }
    }

    contents.agentId = agentId;
    d.agentId = agentId;
    d.branchId = contents.branchId;
    d.fileName = pathWithoutRoot(d.path);
    d.rows = bankDataRows(contents, d.fileName);
    for (const DownloadRecord& r : contents.records) {
        if (r.replacedFields > 0) {
            ++d.accountsWithReplacedText;
            d.replacedFields += r.replacedFields;
        }
    }
    return {std::move(d), {}, MsgIcon::None, {}};
}

DbStatus DownloadImport::store(Database& db, const PreparedDownload& download) {
    return BankDataStore(db).replaceAgentRows(download.agentId, download.rows);
}

}  // namespace kovrin
