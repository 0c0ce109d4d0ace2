#include "download/DownloadImport.h"

#include "download/DownloadFile.h"
#include "link/DownloadFrames.h"

#include <QDir>
#include <algorithm>

namespace kovrin {

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
    if (!QDir().mkpath(downLoadData)) {
        return {std::nullopt,
                QStringLiteral("The folder %1 could not be created. Check that the program "
                               "folder can be written to.")
                    .arg(QDir::toNativeSeparators(downLoadData)),
                MsgIcon::Critical,
                {}};
    }

    const DownloadFileContents contents = readDownloadFile(d.path);
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
            return {std::nullopt, QStringLiteral("Error in DATA FORMAT"), MsgIcon::None, {}};
        case DownloadFileContents::Status::TooManyRecords:
            return {
                std::nullopt,
                QStringLiteral("No.of records has exceeded 2000,Please check the DownLoad File"),
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
                                   "again. Nothing was stored and nothing was sent.")
                        .arg(r.ACNumber.trimmed(), QString::number(r.line),
                             QDir::toNativeSeparators(d.path), built.reason),
                    MsgIcon::Critical,
                    {}};
        }
    }

    d.agentId = contents.agentId;
    d.branchId = contents.branchId;
    d.fileName = pathWithoutRoot(d.path);
    d.rows = bankDataRows(contents, d.fileName);
    return {std::move(d), {}, MsgIcon::None, {}};
}

DbStatus DownloadImport::store(Database& db, const PreparedDownload& download) {
    return BankDataStore(db).replaceAgentRows(download.agentId, download.rows);
}

}  // namespace kovrin
