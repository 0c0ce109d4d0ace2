#include "upload/RestoreData.h"

#include "core/SafeFile.h"
#include "db/BankDataStore.h"
#include "db/LedgerStore.h"
#include "db/Val.h"
#include "upload/BankFiles.h"
#include "upload/RestoreRows.h"
#include "upload/UnstoredBackups.h"
#include "upload/UploadFileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstring>
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

// The whole file or nothing: the bytes go to a new file beside it, which then takes its
// name, so the bank's software never finds half a file. Below the program folder (and the
// bank folder) no link is followed.
bool writeFile(const GuardedPath& path, const QByteArray& bytes, QString* error) {
    const FileResult written = files::writeWhole(path, bytes);
    if (!written) {
        *error = written.error;
    }
    return bool(written);
}

QString accountText(const QString& category, const QString& scheme, const QString& account) {
    return QStringLiteral("%1 %2 %3").arg(category, scheme, account.trimmed());
}

// The records that could not be read at all (a transaction that could not be read is in the
// list of collections kept out of the bank upload file).
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
    QString text = QStringLiteral("Some records of this upload could not be read:\n") +
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

// The collections kept out of the bank upload file, each with its reason: stored and in the
// check file, but the bank's software does not get them, so the operator must hear of them.
struct LeftOut {
    RestoreDataRow row;
    QString reason;
};

QVector<LeftOut> leftOutCollections(const QVector<RestoreDataRow>& rows, const QString& agentId) {
    QVector<LeftOut> out;
    const QStringList reasons = bankFileReasons(rows, agentId);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (!reasons[i].isEmpty()) {
            out.push_back({rows[i], reasons[i]});
        }
    }
    return out;
}

QString leftOutText(const QVector<LeftOut>& leftOut, const QString& checkFile) {
    QStringList lines;
    qint64 hundredths = 0;
    int withoutAmount = 0;
    for (const LeftOut& l : leftOut) {
        const RestoreDataRow& r = l.row;
        if (!r.Amtcollected.isEmpty()) {
            hundredths += qRound64(vbVal(r.Amtcollected) * 100);
        } else {
            ++withoutAmount;
        }
        if (lines.size() < kListedInMessage) {
            lines << QStringLiteral("%1   %2   %3   No. %4: %5")
                         .arg(accountText(r.CategoryCode, r.SchemeCode, r.AccountNo),
                              r.Amtcollected.isEmpty() ? QStringLiteral("(no amount)")
                                                       : r.Amtcollected,
                              r.DateTime, r.TransactionNumber, l.reason);
        }
    }
    if (leftOut.size() > kListedInMessage) {
        lines << QStringLiteral("... and %1 more.").arg(leftOut.size() - kListedInMessage);
    }
    QString text =
        QStringLiteral("These collections are stored, but not in the bank upload file:\n") +
        lines.join(u'\n') +
        QStringLiteral("\nTotal %1 in %2 collection(s)")
            .arg(QString::number(static_cast<double>(hundredths) / 100, 'f', 2))
            .arg(leftOut.size());
    if (withoutAmount > 0) {
        text +=
            QStringLiteral(", %1 of them without an amount that could be read").arg(withoutAmount);
    }
    text += QStringLiteral(". Hand them to the bank separately.");
    if (!checkFile.isEmpty()) {
        text += QStringLiteral(" The check file %1 lists them all.").arg(native(checkFile));
    }
    return text;
}

// The lines of a listing file with characters its encoding (the agent's download file's)
// cannot hold, each written as "?": the bank must not take them for the stored text.
void showReplaced(const QString& path, TextEncoding encoding, const QVector<int>& lines,
                  const MessageFunction& message) {
    if (lines.isEmpty()) {
        return;
    }
    QStringList numbers;
    for (const int line : lines.mid(0, kListedInMessage)) {
        numbers << QString::number(line);
    }
    if (lines.size() > kListedInMessage) {
        numbers << QStringLiteral("... (%1 lines in all)").arg(lines.size());
    }
    show(message,
         QStringLiteral("The file %1 is written in %2, the encoding of the agent's download "
                        "file, which cannot hold some characters of its line(s) %3: each was "
                        "written as \"?\". The stored collections keep them as they are; tell "
                        "the bank before it posts the file.")
             .arg(native(path), encodingName(encoding), numbers.join(QStringLiteral(", "))),
         MsgIcon::Warning);
}

// What was stored for the upload, to be compared with the terminal's own totals: every
// collection with an amount, whether the bank upload file takes it or not.
struct StoredTotals {
    int count = 0;
    qint64 hundredths = 0;
};

StoredTotals storedTotals(const QVector<RestoreDataRow>& rows) {
    StoredTotals t;
    for (const RestoreDataRow& r : rows) {
        if (!r.Amtcollected.isEmpty()) {
            ++t.count;
            t.hundredths += qRound64(vbVal(r.Amtcollected) * 100);
        }
    }
    return t;
}

}  // namespace

RestoreData::RestoreData(Database& db, const AppSettings& settings, ProgramFolder folder)
    : m_db(db), m_settings(settings), m_folder(std::move(folder)) {}

GuardedPath RestoreData::guarded(const QString& path) const {
    return GuardedPath::within(m_folder.path(), path);
}

UploadTransfer::Restore RestoreData::restoreFunction() {
    return [this](const UploadData& data, const MessageFunction& message) {
        const RestoreOutcome outcome = run(data, message);
        return RestoreResult{outcome.safe || outcome.nothingToStore, outcome.totalsDiffer};
    };
}

bool RestoreData::backupFolder(const QString& notWritten, const MessageFunction& message,
                               QString* path) {
    *path = m_folder.filePath(backupFolderName());
    const FileResult made = files::makeFolder(GuardedPath(m_folder.path(), backupFolderName()));
    if (made) {
        return true;
    }
    const QString reason = made.error == QString::fromLocal8Bit(std::strerror(ENOTDIR))
                               ? QStringLiteral("a file of that name is in the way")
                               : made.error;
    show(message,
         QStringLiteral("The folder %1 could not be created: %2. %3")
             .arg(native(*path), reason, notWritten),
         MsgIcon::Critical);
    return false;
}

void RestoreData::writeBackup(const UploadData& data, const QDateTime& now,
                              const MessageFunction& message, RestoreOutcome& outcome) {
    QString folder;
    if (!backupFolder(QStringLiteral("The backup file was not written, so the upload is not "
                                     "safe yet."),
                      message, &folder)) {
        return;
    }
    // A key that cannot name a file still leaves a backup, under a name of the date and time.
    const QString& key = data.header.AgentDateKey;
    const QString path = QDir(folder).filePath(fitsFileName(key) ? backupFileName(key, now.date())
                                                                 : fallbackBackupFileName(now));
    QString error;
    // The mark goes first: should the program end before the store is committed, the backup
    // is offered to Store Again on the next opening of the Receive Data screen.
    // The mark holds when the upload was received.
    const GuardedPath mark = guarded(unstoredMarkOf(path));
    if (const FileResult marked = files::writeWhole(mark, unstoredMarkText(now)); !marked) {
        error = marked.error;
    } else if (!writeFile(guarded(path), CreateFlatFile1(data), &error)) {
        files::remove(mark);
    } else {
        outcome.backupFile = path;
        return;
    }
    show(message,
         QStringLiteral("The backup file %1 could not be written: %2. The upload is not safe "
                        "yet.")
             .arg(native(path), error),
         MsgIcon::Critical);
}

QString RestoreData::unstoredMarkOf(const QString& backupFile) {
    return unstoredMarkPath(backupFile);
}

QStringList RestoreData::unstoredBackups() const {
    const QDir dir(m_folder.filePath(backupFolderName()));
    QStringList backups;
    for (const QString& mark :
         dir.entryList({QStringLiteral("*.unstored")}, QDir::Files, QDir::Time | QDir::Reversed)) {
        const QString backup = dir.filePath(mark.chopped(9) + QStringLiteral(".txt"));
        if (QFileInfo(backup).isFile()) {
            backups << backup;
        }
    }
    return backups;
}

RestoreOutcome RestoreData::storeFromBackup(const QString& backupFile,
                                            const MessageFunction& message) {
    RestoreOutcome outcome;
    QFile f(backupFile);
    if (!f.open(QIODevice::ReadOnly)) {
        show(message,
             QStringLiteral("The backup file %1 could not be read: %2.")
                 .arg(native(backupFile), f.errorString()),
             MsgIcon::Critical);
        return outcome;
    }
    const std::optional<QVector<QByteArray>> frames = parseBackupFile(f.readAll());
    const link::CountInfo count =
        frames ? link::DecodeFifthProtocol(frames->value(0)) : link::CountInfo{};
    const link::HeaderInfo header =
        frames ? link::DecodeThirdProtocol(frames->value(1)) : link::HeaderInfo{};
    const int total = qMin(count.TotalRecords, kMaxUploadRecords);
    if (!frames || !count.ok || !header.ok || frames->size() < total + 2) {
        show(message,
             QStringLiteral("The backup file %1 does not hold a whole upload, so it cannot be "
                            "stored.")
                 .arg(native(backupFile)),
             MsgIcon::Critical);
        return outcome;
    }
    UploadData data;
    data.RecordFrames = *frames;
    data.TotalRecords = total;
    data.agentId = count.agentId;
    data.header = header;
    outcome = run(data, message, backupFile);
    return outcome;
}

RestoreOutcome RestoreData::run(const UploadData& data, const MessageFunction& message,
                                const QString& existingBackup) {
    RestoreOutcome outcome;
    const QDateTime now = m_clock->now();
    const QString& key = data.header.AgentDateKey;
    if (data.TotalRecords <= 0) {
        // Nothing to replace the agent's earlier collections with: they and their files stay.
        outcome.nothingToStore = true;
        show(message,
             QStringLiteral("The terminal holds no collections for agent %1 (day %2): nothing "
                            "was stored and no file was written. The agent's earlier "
                            "collections and files are kept as they were.")
                 .arg(data.header.agentNumber.trimmed().isEmpty() ? data.agentId.trimmed()
                                                                  : data.header.agentNumber,
                      data.header.dateDdmm),
             MsgIcon::Information);
        return outcome;
    }
    const bool namesFiles = fitsFileName(key);
    if (!existingBackup.isEmpty()) {
        outcome.backupFile = existingBackup;
    } else {
        writeBackup(data, now, message, outcome);
        if (outcome.backupFile.isEmpty()) {
            return outcome;  // not safe: nothing is stored before the frames are on disk
        }
    }
    if (!namesFiles) {
        show(message,
             QStringLiteral("The day's header of this upload gives the agent and date \"%1\", "
                            "which cannot name a file: no upload or check file is written for "
                            "it. Its frames are in the backup file %2.")
                 .arg(key, native(outcome.backupFile)),
             MsgIcon::Critical);
    }

    DbStatus status;
    const QVector<BankDataRow> accounts = BankDataStore(m_db).agentRows(data.agentId, &status);
    // The files are written in the encoding the agent's download file came in.
    const TextEncoding encoding =
        status ? BankDataStore(m_db).downloadEncoding(data.agentId, &status) : TextEncoding{};
    if (!status) {
        show(message,
             QStringLiteral("The accounts of agent %1 could not be read from table BankData: "
                            "%2. Nothing of this upload was stored.")
                 .arg(data.agentId.trimmed(), status.error),
             MsgIcon::Critical);
        return outcome;
    }
    QVector<RestoreProblem> problems;
    const QVector<RestoreDataRow> rows =
        buildRestoreRows(data, AccountLookup(accounts), now.date().year(), &problems);
    outcome.problemCount = problems.size();

    // StoreRestoreData: the agent's rows and the day's header, together or not at all.
    // Totals the header did not give are kept as -1: nothing to compare with.
    const UploadInfo info{data.agentId,
                          key,
                          data.header.totalsRead ? data.header.TotalTransactions : -1,
                          data.header.totalsRead ? data.header.totalAmount : -1,
                          now,
                          encoding};
    status = RestoreDataStore(m_db).replaceUpload(info, rows, outcome.backupFile);
    if (!status) {
        show(message,
             QStringLiteral("The collections could not be stored in table RestoreData: %1. The "
                            "agent's earlier rows are kept as they were.")
                 .arg(status.error),
             MsgIcon::Critical);
        return outcome;
    }
    outcome.stored = true;
    outcome.rowCount = rows.size();
    // Safe: the frames on disk and the rows committed.
    outcome.safe = true;
    const QDateTime receivedAt =
        existingBackup.isEmpty() ? now : describeUnstored(existingBackup).receivedAt;
    files::remove(guarded(unstoredMarkOf(outcome.backupFile)));
    // An older upload of the agent left unstored is not offered over this one any more.
    clearOlderMarks(m_folder.path(), data.agentId, receivedAt);
    m_lastAgentId = data.agentId;
    // What was stored against the terminal's own totals, whether the bank file is written or
    // not: they differ only when something was lost or added on the way.
    const StoredTotals stored = storedTotals(rows);
    outcome.totalsDiffer =
        data.header.totalsRead && (stored.count != data.header.TotalTransactions ||
                                   stored.hundredths != data.header.totalAmount * 100);

    // The files are made from the rows just committed, in the order they were stored.
    if (namesFiles) {
        writeListings(info, rows, message, outcome);
        recordFiles(data.agentId, message, outcome);
    }
    QVector<RestoreProblem> unreadRecords;
    for (const RestoreProblem& p : problems) {
        if (p.slot == 0) {
            unreadRecords.push_back(p);
        }
    }
    if (!unreadRecords.isEmpty()) {
        show(message, problemsText(unreadRecords, outcome.backupFile), MsgIcon::Critical);
    }
    showLeftOut(rows, data.agentId, message, outcome);
    return outcome;
}

void RestoreData::showLeftOut(const QVector<RestoreDataRow>& rows, const QString& agentId,
                              const MessageFunction& message, RestoreOutcome& outcome) {
    const QVector<LeftOut> leftOut = leftOutCollections(rows, agentId);
    outcome.leftOutCollections = leftOut.size();
    if (!leftOut.isEmpty()) {
        show(message, leftOutText(leftOut, outcome.checkFile), MsgIcon::Warning);
    }
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
    recordFiles(agentId, message, outcome);
    showLeftOut(rows, agentId, message, outcome);
    return outcome;
}

void RestoreData::recordFiles(const QString& agentId, const MessageFunction& message,
                              const RestoreOutcome& outcome) {
    if (outcome.uploadFile.isEmpty() && outcome.checkFile.isEmpty()) {
        return;
    }
    const DbStatus st =
        LedgerStore(m_db).recordFiles(agentId, outcome.uploadFile, outcome.checkFile);
    if (!st) {
        show(message,
             QStringLiteral("The names of the files written could not be kept in the upload "
                            "register: %1. The collections and the files are as they should be.")
                 .arg(st.error),
             MsgIcon::Warning);
    }
}

void RestoreData::writeListings(const UploadInfo& info, const QVector<RestoreDataRow>& rows,
                                const MessageFunction& message, RestoreOutcome& outcome) {
    // CreateFlatFile: only into a bank folder that is there.
    const QString bankFolder = m_settings.BankInfoPath;
    if (bankFolder.trimmed().isEmpty() || !QFileInfo(bankFolder).isDir()) {
        show(message,
             QStringLiteral("Bank Upload Folder does not Exist,Select BankInfoPath and UpLoad "
                            "Again"),
             MsgIcon::None);
    } else {
        const QString path = bankUploadFilePath(bankFolder, info.AgentDateKey);
        const BankUploadFile file = CreateFlatFile(inUploadFileOrder(rows), info.Encoding);
        QString error;
        if (!writeFile(GuardedPath::within(bankFolder, path), file.bytes, &error)) {
            show(message,
                 QStringLiteral("The bank upload file %1 could not be written: %2. The "
                                "collections are stored; write the files again once this is "
                                "put right.")
                     .arg(native(path), error),
                 MsgIcon::Critical);
        } else {
            outcome.uploadFile = path;
            // The terminal's totals against everything stored for the upload, the
            // collections kept out of the bank upload file included: they differ only when
            // something was lost or added on the way.
            const StoredTotals stored = storedTotals(rows);
            outcome.totalsMatch = info.TotalTransactions >= 0 &&
                                  stored.count == info.TotalTransactions &&
                                  stored.hundredths == info.TotalAmount * 100;
            if (info.TotalTransactions < 0) {
                show(message,
                     QStringLiteral("The terminal's totals could not be read, so the "
                                    "collections stored could not be compared with them. Check "
                                    "the check file against the terminal's own report."),
                     MsgIcon::Critical);
            } else if (outcome.totalsMatch) {
                show(message, QStringLiteral("Upload Completed Successfully"),
                     MsgIcon::Information);
            } else {
                show(message, QStringLiteral("Serious Problem While Uploading "),
                     MsgIcon::Critical);
            }
            showReplaced(path, info.Encoding, file.replacedLines, message);
        }
    }

    // CreateFlatFile2: every row of the agent, under the same name whether the bank upload
    // file could be written or not.
    QString folder;
    if (!backupFolder(QStringLiteral("The check file was not written; write the files again "
                                     "once this is put right."),
                      message, &folder)) {
        return;
    }
    const QString path = QDir(folder).filePath(checkFileName(info.AgentDateKey));
    QString error;
    QVector<int> replacedLines;
    if (!writeFile(guarded(path),
                   CreateFlatFile2(inCheckFileOrder(rows), info.Encoding, &replacedLines),
                   &error)) {
        show(message,
             QStringLiteral("The check file %1 could not be written: %2. The collections are "
                            "stored; write the files again once this is put right.")
                 .arg(native(path), error),
             MsgIcon::Critical);
        return;
    }
    outcome.checkFile = path;
    showReplaced(path, info.Encoding, replacedLines, message);
}

}  // namespace kovrin
