#include "upload/RestoreData.h"

#include "db/BankDataStore.h"
#include "db/Val.h"
#include "upload/BankFiles.h"
#include "upload/RestoreRows.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <filesystem>
#include <system_error>

namespace kovrin {

namespace {

const QString kScreen = QStringLiteral("frmReceive");
// At most this many lines of a list go into one message; the check file has them all.
constexpr int kListedInMessage = 20;

void show(const MessageFunction& message, const QString& text, MsgIcon icon) {
    message({kScreen, text, icon, MsgButtons::Ok, {}});
}

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

// The whole file or nothing: the bytes go to a temporary file beside it, which then takes
// its name, so the bank's software never finds half a file.
bool writeFile(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly)) {
        *error = f.errorString();
        return false;
    }
    // A write cut short (a full disk, a file-size limit) reports no reason of its own; the
    // next write of the rest fails with the system's reason, which the operator is shown.
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = f.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            *error = f.errorString();
            f.cancelWriting();
            return false;
        }
        done += n;
    }
    if (!f.commit()) {
        *error = f.errorString();
        return false;
    }
    return true;
}

// The AgentDateKey names files: it must not lead out of their folder or be refused by it.
bool fitsFileName(const QString& key) {
    if (key.trimmed().isEmpty()) {
        return false;
    }
    for (const QChar c : key) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F ||
            QStringLiteral("/\\:*?\"<>|").contains(c)) {
            return false;
        }
    }
    return true;
}

QString accountText(const QString& category, const QString& scheme, const QString& account) {
    return QStringLiteral("%1 %2 %3").arg(category, scheme, account.trimmed());
}

QString problemsText(const QVector<RestoreProblem>& problems, const QString& backupFile) {
    QStringList lines;
    for (const RestoreProblem& p : problems) {
        if (lines.size() == kListedInMessage) {
            lines << QStringLiteral("... and %1 more.").arg(problems.size() - kListedInMessage);
            break;
        }
        QString line = QStringLiteral("Record %1").arg(p.recordNo);
        if (p.slot > 0) {
            line += QStringLiteral(", transaction %1").arg(p.slot);
        }
        if (!p.AccountNo.trimmed().isEmpty()) {
            line += QStringLiteral(" (account %1)")
                        .arg(accountText(p.CategoryCode, p.SchemeCode, p.AccountNo));
        }
        line += QStringLiteral(": ") + p.what;
        if (!p.bytes.isEmpty()) {
            line += QStringLiteral(" [%1]").arg(QString::fromLatin1(p.bytes.toHex(' ').toUpper()));
        }
        if (p.amountLost) {
            line += QStringLiteral("; stored without its amount, not in the bank upload file");
        }
        lines << line + u'.';
    }
    QString text = QStringLiteral("Some records of this upload did not read cleanly:\n") +
                   lines.join(u'\n') +
                   QStringLiteral(
                       "\nCheck these collections against the terminal before the "
                       "bank posts them.");
    if (!backupFile.isEmpty()) {
        text += QStringLiteral(" The backup file %1 lists every byte received.")
                    .arg(native(backupFile));
    }
    return text;
}

// The collections for accounts the agent's last download did not hold: they are stored and
// in the check file, but not in the bank upload file, so the operator must hear of them.
QVector<RestoreDataRow> unknownCollections(const QVector<RestoreDataRow>& rows) {
    QVector<RestoreDataRow> unknown;
    for (const RestoreDataRow& r : rows) {
        if (!r.Amtcollected.isEmpty() && !accountFound(r)) {
            unknown.push_back(r);
        }
    }
    return unknown;
}

QString unknownText(const QVector<RestoreDataRow>& unknown, const QString& agentId,
                    const QString& checkFile) {
    QStringList lines;
    qint64 hundredths = 0;
    for (const RestoreDataRow& r : unknown) {
        hundredths += qRound64(vbVal(r.Amtcollected) * 100);
        if (lines.size() < kListedInMessage) {
            lines << QStringLiteral("%1   %2   %3   No. %4")
                         .arg(accountText(r.CategoryCode, r.SchemeCode, r.AccountNo),
                              r.Amtcollected, r.DateTime, r.TransactionNumber);
        }
    }
    if (unknown.size() > kListedInMessage) {
        lines << QStringLiteral("... and %1 more.").arg(unknown.size() - kListedInMessage);
    }
    QString text =
        QStringLiteral(
            "These collections are for accounts that were not in the last download "
            "of agent %1, so they are not in the bank upload file:\n")
            .arg(agentId.trimmed()) +
        lines.join(u'\n') +
        QStringLiteral("\nTotal %1 in %2 collection(s). Hand them to the bank separately.")
            .arg(QString::number(static_cast<double>(hundredths) / 100, 'f', 2))
            .arg(unknown.size());
    if (!checkFile.isEmpty()) {
        text += QStringLiteral(" The check file %1 lists them all.").arg(native(checkFile));
    }
    return text;
}

}  // namespace

RestoreData::RestoreData(Database& db, const AppSettings& settings, ProgramFolder folder)
    : m_db(db),
      m_settings(settings),
      m_folder(std::move(folder)),
      m_clock([] { return QDateTime::currentDateTime(); }) {}

UploadTransfer::Restore RestoreData::restoreFunction() {
    return [this](const UploadData& data, const MessageFunction& message) { run(data, message); };
}

bool RestoreData::backupFolder(const QString& notWritten, const MessageFunction& message,
                               QString* path) {
    *path = m_folder.filePath(backupFolderName());
    if (QFileInfo(*path).isDir()) {
        return true;
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(*path).data()), ec);
    if (!ec && QFileInfo(*path).isDir()) {
        return true;
    }
    const QString reason = ec ? QString::fromLocal8Bit(ec.message().c_str())
                              : QStringLiteral("a file of that name is in the way");
    show(message,
         QStringLiteral("The folder %1 could not be created: %2. %3")
             .arg(native(*path), reason, notWritten),
         MsgIcon::Critical);
    return false;
}

void RestoreData::writeBackup(const UploadData& data, const QDate& today,
                              const MessageFunction& message, RestoreOutcome& outcome) {
    QString folder;
    if (!backupFolder(QStringLiteral("The backup file was not written; the upload goes on "
                                     "without it."),
                      message, &folder)) {
        return;
    }
    const QString path = QDir(folder).filePath(backupFileName(data.header.AgentDateKey, today));
    QString error;
    if (!writeFile(path, CreateFlatFile1(data), &error)) {
        show(message,
             QStringLiteral("The backup file %1 could not be written: %2. The upload goes on "
                            "without it.")
                 .arg(native(path), error),
             MsgIcon::Critical);
        return;
    }
    outcome.backupFile = path;
}

RestoreOutcome RestoreData::run(const UploadData& data, const MessageFunction& message) {
    RestoreOutcome outcome;
    const QDateTime now = m_clock();
    const QString& key = data.header.AgentDateKey;
    const bool namesFiles = fitsFileName(key);
    if (namesFiles) {
        writeBackup(data, now.date(), message, outcome);
    } else {
        show(message,
             QStringLiteral("The day's header of this upload gives the agent and date \"%1\", "
                            "which cannot name a file: no backup, upload or check file is "
                            "written for it.")
                 .arg(key),
             MsgIcon::Critical);
    }

    DbStatus status;
    const QVector<BankDataRow> accounts = BankDataStore(m_db).agentRows(data.agentId, &status);
    if (!status) {
        show(message,
             QStringLiteral("The accounts of agent %1 could not be read from table BankData: "
                            "%2. Nothing of this upload was stored; receive it again.")
                 .arg(data.agentId.trimmed(), status.error),
             MsgIcon::Critical);
        return outcome;
    }
    QVector<RestoreProblem> problems;
    const QVector<RestoreDataRow> rows =
        buildRestoreRows(data, AccountLookup(accounts), now.date().year(), &problems);
    outcome.problemCount = problems.size();

    // StoreRestoreData: the agent's rows and the day's header, together or not at all.
    const UploadInfo info{data.agentId, key, data.header.TotalTransactions, data.header.totalAmount,
                          now};
    status = RestoreDataStore(m_db).replaceUpload(info, rows);
    if (!status) {
        show(message,
             QStringLiteral("The collections could not be stored in table RestoreData: %1. The "
                            "agent's earlier rows are kept as they were; receive the upload "
                            "again.")
                 .arg(status.error),
             MsgIcon::Critical);
        return outcome;
    }
    outcome.stored = true;
    outcome.rowCount = rows.size();
    m_lastAgentId = data.agentId;

    // The files are made from the rows just committed, in the order they were stored.
    if (namesFiles) {
        writeListings(info, rows, message, outcome);
    }
    if (!problems.isEmpty()) {
        show(message, problemsText(problems, outcome.backupFile), MsgIcon::Critical);
    }
    const QVector<RestoreDataRow> unknown = unknownCollections(rows);
    outcome.unknownCollections = unknown.size();
    if (!unknown.isEmpty()) {
        show(message, unknownText(unknown, data.agentId, outcome.checkFile), MsgIcon::Critical);
    }
    return outcome;
}

RestoreOutcome RestoreData::writeFilesAgain(const QString& agentId,
                                            const MessageFunction& message) {
    RestoreOutcome outcome;
    DbStatus status;
    const std::optional<UploadInfo> info = RestoreDataStore(m_db).uploadInfo(agentId, &status);
    if (!status) {
        show(message,
             QStringLiteral("The stored upload of agent %1 could not be read from table "
                            "UploadInfo: %2.")
                 .arg(agentId.trimmed(), status.error),
             MsgIcon::Critical);
        return outcome;
    }
    if (!info) {
        show(message,
             QStringLiteral("No upload of agent %1 is stored, so there are no files to write.")
                 .arg(agentId.trimmed()),
             MsgIcon::Information);
        return outcome;
    }
    if (!fitsFileName(info->AgentDateKey)) {
        show(message,
             QStringLiteral("The stored upload gives the agent and date \"%1\", which cannot "
                            "name a file.")
                 .arg(info->AgentDateKey),
             MsgIcon::Critical);
        return outcome;
    }
    const QVector<RestoreDataRow> rows = RestoreDataStore(m_db).agentRows(agentId, &status);
    if (!status) {
        show(message,
             QStringLiteral("The collections of agent %1 could not be read from table "
                            "RestoreData: %2. No file was written.")
                 .arg(agentId.trimmed(), status.error),
             MsgIcon::Critical);
        return outcome;
    }
    outcome.rowCount = rows.size();
    writeListings(*info, rows, message, outcome);
    const QVector<RestoreDataRow> unknown = unknownCollections(rows);
    outcome.unknownCollections = unknown.size();
    if (!unknown.isEmpty()) {
        show(message, unknownText(unknown, agentId, outcome.checkFile), MsgIcon::Critical);
    }
    return outcome;
}

void RestoreData::writeListings(const UploadInfo& info, const QVector<RestoreDataRow>& rows,
                                const MessageFunction& message, RestoreOutcome& outcome) {
    // CreateFlatFile: only into a bank folder that is there.
    bool uploadWritten = false;
    const QString bankFolder = m_settings.BankInfoPath;
    if (bankFolder.trimmed().isEmpty() || !QFileInfo(bankFolder).isDir()) {
        show(message,
             QStringLiteral("Bank Upload Folder does not Exist,Select BankInfoPath and UpLoad "
                            "Again"),
             MsgIcon::None);
    } else {
        const QString path = bankUploadFilePath(bankFolder, info.AgentDateKey);
        const BankUploadFile file = CreateFlatFile(inUploadFileOrder(rows));
        QString error;
        if (!writeFile(path, file.bytes, &error)) {
            show(message,
                 QStringLiteral("The bank upload file %1 could not be written: %2. The "
                                "collections are stored; write the files again once this is "
                                "put right.")
                     .arg(native(path), error),
                 MsgIcon::Critical);
        } else {
            uploadWritten = true;
            outcome.uploadFile = path;
            outcome.totalsMatch = file.totalsMatch(info.TotalTransactions, info.TotalAmount);
            if (outcome.totalsMatch) {
                show(message, QStringLiteral("Upload Completed Successfully"),
                     MsgIcon::Information);
            } else {
                show(message, QStringLiteral("Serious Problem While Uploading "),
                     MsgIcon::Critical);
            }
        }
    }

    // CreateFlatFile2: every row of the agent, under a name with the "u" only when the bank
    // upload file was written.
    QString folder;
    if (!backupFolder(QStringLiteral("The check file was not written; write the files again "
                                     "once this is put right."),
                      message, &folder)) {
        return;
    }
    const QString path = QDir(folder).filePath(checkFileName(info.AgentDateKey, uploadWritten));
    QString error;
    if (!writeFile(path, CreateFlatFile2(inCheckFileOrder(rows)), &error)) {
        show(message,
             QStringLiteral("The check file %1 could not be written: %2. The collections are "
                            "stored; write the files again once this is put right.")
                 .arg(native(path), error),
             MsgIcon::Critical);
        return;
    }
    outcome.checkFile = path;
}

}  // namespace kovrin
