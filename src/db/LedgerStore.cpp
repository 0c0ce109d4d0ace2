#include "db/LedgerStore.h"

#include "db/AgentKey.h"
#include "db/RowInserter.h"
#include "db/Sql.h"
#include "db/Tables.h"

#include <sqlite3.h>
#include <QHash>
#include <QMap>
#include <QSet>
#include <algorithm>
#include <cstdlib>
#include <limits>
#include <tuple>

namespace kovrin {

namespace {

// A statement on the ledger's tables; a failure names the table the statement works on.
class Statement : public NativeStatement {
public:
    Statement(Database& db, const QString& sql) : NativeStatement(db, sql, tableOf(sql)) {}

private:
    static QString tableOf(const QString& sql) {
        for (const tables::Table* t :
             {&tables::ledgerCollection(), &tables::ledgerUpload(), &tables::ledgerDay()}) {
            if (sql.contains(t->name)) {
                return t->name;
            }
        }
        return {};
    }
};

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// The number SQLite's CAST(text AS INTEGER) reads: an optional sign and the digits that
// follow it, 0 when there are none.
qint64 leadingInteger(const QString& text) {
    const QString t = text.trimmed();
    int i = 0;
    bool negative = false;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+'))) {
        negative = t[i] == QLatin1Char('-');
        ++i;
    }
    qint64 v = 0;
    for (; i < t.size() && isDigit(t[i]); ++i) {
        if (v > (std::numeric_limits<qint64>::max() - 9) / 10) {
            return negative ? std::numeric_limits<qint64>::min()
                            : std::numeric_limits<qint64>::max();
        }
        v = v * 10 + (t[i].unicode() - '0');
    }
    return negative ? -v : v;
}

// Two digits at `at` as a number (both known to be digits).
int twoDigits(QStringView t, int at) {
    return (t[at].unicode() - '0') * 10 + (t[at + 1].unicode() - '0');
}

// DD/MM/YYYY... as the ISO date it names; invalid when it is not a real day.
QDate dateOf(QStringView dateTime) {
    const QStringView t = dateTime.trimmed();
    if (t.size() < 10 || t[2] != QLatin1Char('/') || t[5] != QLatin1Char('/')) {
        return {};
    }
    for (int i : {0, 1, 3, 4, 6, 7, 8, 9}) {
        if (!isDigit(t[i])) {
            return {};
        }
    }
    return QDate(twoDigits(t, 6) * 100 + twoDigits(t, 8), twoDigits(t, 3), twoDigits(t, 0));
}

// DD/MM/YYYY HH:NN (blanks around it aside) naming a real day and a real time of day: the
// bank upload file takes no other, and a collection at 25:00 cannot be put in a day's total
// any more than one of 30 February.
bool realDateTime(QStringView dateTime) {
    const QStringView t = dateTime.trimmed();
    if (t.size() != 16 || t[10] != QLatin1Char(' ') || t[13] != QLatin1Char(':') ||
        !isDigit(t[11]) || !isDigit(t[12]) || !isDigit(t[14]) || !isDigit(t[15])) {
        return false;
    }
    return dateOf(t).isValid() && twoDigits(t, 11) < 24 && twoDigits(t, 14) < 60;
}

// A collection as the ledger keeps it.
struct LedgerRow {
    QString agent, account, scheme, category, branch;
    QDate date;
    QString time;
    bool realTime = false;  // the date and time are a real day and time of day
    std::optional<qint64> amount;
    qint64 transaction = 0;
    std::optional<qint64> balance;
    std::optional<qint64> closing;
    bool inDownload = false;
    QString storedAmount;  // null unless the amount or date cannot be read
    QString storedDateTime;
    bool posted = false;  // in the bank upload file
    bool unreadable() const { return !amount || !date.isValid() || !realTime; }
};

struct DayKey {
    QString agent, branch;
    QDate date;
    bool operator<(const DayKey& o) const {
        return std::tie(date, agent, branch) < std::tie(o.date, o.agent, o.branch);
    }
};

struct DayTotal {
    qint64 count = 0;
    qint64 total = 0;
};

QString isoOrNull(const QDate& d) {
    // The collections of an upload are mostly of one day: its text is made once.
    thread_local QDate last;
    thread_local QString text;
    if (d != last) {
        last = d;
        text = d.isValid() ? d.toString(Qt::ISODate) : QString();
    }
    return text;
}

// The collections of an upload of `agent` with their running closing amounts: per account
// (number, scheme and category), in transaction-number order then stored order, the balance
// plus every collection up to this one; unknown without a balance and from the first amount
// that cannot be read on. Every collection is the upload's agent's, however the download
// spelled the agent's identifier.
QVector<LedgerRow> ledgerRows(const QVector<RestoreDataRow>& rows, const QString& agent) {
    QVector<LedgerRow> out;
    out.reserve(rows.size());
    QHash<QString, QVector<int>> accounts;
    accounts.reserve(rows.size());
    QSet<QString> numbers;  // the transaction numbers posted so far
    numbers.reserve(rows.size());
    for (const RestoreDataRow& r : rows) {
        const QString amount = r.Amtcollected.trimmed();
        if (amount.isEmpty() && r.DateTime.trimmed().isEmpty()) {
            continue;  // the row of an account the terminal marks as without collections
        }
        // A collection whose amount could not be read (stored without one) is kept as
        // unreadable: the account's closing amount is unknown from it on.
        LedgerRow l;
        l.agent = agent;
        l.account = r.AccountNo.trimmed();
        l.scheme = r.SchemeCode.trimmed();
        l.category = r.CategoryCode.trimmed();
        l.branch = r.BranchID.trimmed();
        l.date = dateOf(r.DateTime);
        l.time = r.DateTime.trimmed().mid(11, 5);
        l.realTime = realDateTime(r.DateTime);
        l.amount = ledgerAmount(amount, false);
        l.transaction = leadingInteger(r.TransactionNumber);
        l.balance = ledgerAmount(r.BalanceAmount.trimmed(), true);
        // A row whose account was found in the download always carries its LastTxndate.
        l.inDownload = !r.LastTxndate.isEmpty();
        if (l.unreadable()) {
            l.storedAmount = r.Amtcollected.isNull() ? QStringLiteral("") : r.Amtcollected;
            l.storedDateTime = r.DateTime.isNull() ? QStringLiteral("") : r.DateTime;
        }
        // What the bank upload file takes (upload/BankFiles: CreateFlatFile): a collection of
        // an account of the download with an amount and a real date and time, the first of
        // each transaction number; the others are stored and reported but never posted.
        l.posted = l.inDownload && !l.unreadable() && !numbers.contains(r.TransactionNumber);
        if (l.posted) {
            numbers.insert(r.TransactionNumber);
        }
        const QString key =
            l.agent + QChar(0x1f) + l.account + QChar(0x1f) + l.scheme + QChar(0x1f) + l.category;
        accounts[key].push_back(static_cast<int>(out.size()));
        out.push_back(std::move(l));
    }
    for (QVector<int>& indexes : accounts) {
        std::stable_sort(indexes.begin(), indexes.end(),
                         [&out](int a, int b) { return out[a].transaction < out[b].transaction; });
        std::optional<qint64> running = out[indexes.front()].balance;
        for (int i : indexes) {
            LedgerRow& l = out[i];
            running =
                running && l.amount ? std::optional<qint64>(*running + *l.amount) : std::nullopt;
            l.closing = running;
        }
    }
    return out;
}

}  // namespace

std::optional<qint64> ledgerAmount(const QString& text, bool signAllowed) {
    int i = 0;
    bool negative = false;
    if (signAllowed && i < text.size() && text[i] == QLatin1Char('-')) {
        negative = true;
        ++i;
    }
    if (i >= text.size() || !isDigit(text[i])) {
        return std::nullopt;
    }
    qint64 whole = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        whole = whole * 10 + (text[i].unicode() - '0');
        if (whole >= 100000000000LL) {
            return std::nullopt;
        }
    }
    qint64 cents = 0;
    if (i < text.size()) {
        if (text[i] != QLatin1Char('.')) {
            return std::nullopt;
        }
        ++i;
        int decimals = 0;
        for (; i < text.size(); ++i, ++decimals) {
            if (!isDigit(text[i]) || decimals == 2) {
                return std::nullopt;
            }
            cents = cents * 10 + (text[i].unicode() - '0');
        }
        if (decimals == 1) {
            cents *= 10;
        }
    }
    const qint64 v = whole * 100 + cents;
    return negative ? -v : v;
}

QDate dayOfKey(const QString& agentDateKey, const QDate& received) {
    const QString ddmm = agentDateKey.mid(3, 4);
    if (ddmm.size() != 4 || !received.isValid()) {
        return {};
    }
    for (QChar c : ddmm) {
        if (!isDigit(c)) {
            return {};
        }
    }
    const int day = ddmm.left(2).toInt();
    const int month = ddmm.mid(2).toInt();
    // A day typed for tomorrow on New Year's Eve is next year's; one received late on New
    // Year's Day is last year's. 29 February is the nearest leap year's.
    QDate nearest;
    for (const int year :
         {received.year(), received.year() - 1, received.year() + 1, received.year() - 2,
          received.year() + 2, received.year() - 3, received.year() + 3}) {
        const QDate d(year, month, day);
        if (d.isValid() && (!nearest.isValid() ||
                            std::abs(d.daysTo(received)) < std::abs(nearest.daysTo(received)))) {
            nearest = d;
        }
    }
    return nearest;
}

DbStatus LedgerStore::append(const LedgerHeader& header, const QVector<RestoreDataRow>& rows,
                             qint64* uploadId) {
    const QString agent = header.AgentID.trimmed();
    const QVector<LedgerRow> ledger = ledgerRows(rows, agent);

    int storedCount = 0;
    qint64 storedTotal = 0;
    QDate latest;
    QMap<DayKey, DayTotal> days;
    for (const LedgerRow& l : ledger) {
        ++storedCount;
        if (l.amount) {
            storedTotal += *l.amount;
        }
        if (!l.unreadable()) {
            DayTotal& t = days[DayKey{l.agent, l.branch, l.date}];
            ++t.count;
            t.total += *l.amount;
            if (!latest.isValid() || l.date > latest) {
                latest = l.date;
            }
        }
    }
    // The day the key names; for an upload without a usable key, its last day of collections.
    QDate day = dayOfKey(header.AgentDateKey,
                         header.ReceivedAt.isValid() ? header.ReceivedAt.date() : latest);
    if (!day.isValid()) {
        day = latest.isValid() ? latest : header.ReceivedAt.date();
    }
    const bool totalsRead = header.TerminalCount >= 0 && header.TerminalTotal >= 0;
    const QString outcome =
        !totalsRead ? kOutcomeNoTotals
        : storedCount == header.TerminalCount && storedTotal == header.TerminalTotal
            ? kOutcomeAgrees
            : kOutcomeDiffers;

    // The uploads of the same agent and day that counted until now.
    QVector<qint64> earlier;
    if (day.isValid()) {
        Statement q(m_db, QStringLiteral("SELECT UploadID FROM LedgerUpload WHERE %1 AND Day = ? "
                                         "AND SupersededBy IS NULL")
                              .arg(agentIsSql()));
        q.bind(1, agentKey(agent));
        q.bind(2, isoOrNull(day));
        while (q.next()) {
            earlier.push_back(q.integer(0));
        }
        if (!q.status()) {
            return q.status();
        }
    }

    qint64 id = 0;
    {
        Statement ins(m_db, tables::ledgerUpload().insertStatement());
        if (!ins.status()) {
            return ins.status();
        }
        int c = 1;
        ins.bind(c++, std::optional<qint64>());  // UploadID: the next one
        ins.bind(c++, agent);
        ins.bind(c++, header.AgentDateKey.isNull() ? QStringLiteral("") : header.AgentDateKey);
        ins.bind(c++, isoOrNull(day));
        ins.bind(c++, totalsRead ? std::optional<qint64>(header.TerminalCount) : std::nullopt);
        ins.bind(c++, totalsRead ? std::optional<qint64>(header.TerminalTotal) : std::nullopt);
        ins.bind(c++, qint64(storedCount));
        ins.bind(c++, storedTotal);
        ins.bind(c++, header.ReceivedAt.isValid()
                          ? header.ReceivedAt.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
                          : QString());
        ins.bind(c++, outcome);
        ins.bind(c++, header.BackupFile.isNull() ? QStringLiteral("") : header.BackupFile);
        ins.bind(c++, QStringLiteral(""));
        ins.bind(c++, QStringLiteral(""));
        ins.bind(c++, std::optional<qint64>());
        if (DbStatus s = ins.run(); !s) {
            return s;
        }
        id = ins.lastRowId();
    }
    for (const qint64 old : earlier) {
        Statement mark(
            m_db, QStringLiteral("UPDATE LedgerUpload SET SupersededBy = ? WHERE UploadID = ?"));
        mark.bind(1, id);
        mark.bind(2, old);
        if (DbStatus s = mark.run(); !s) {
            return s;
        }
        for (const char* table : {"LedgerCollection", "LedgerDay"}) {
            Statement rows(m_db, QStringLiteral("UPDATE %1 SET Superseded = 1 WHERE UploadID = ?")
                                     .arg(QLatin1String(table)));
            rows.bind(1, old);
            if (DbStatus s = rows.run(); !s) {
                return s;
            }
        }
    }

    Statement ins(m_db, tables::ledgerCollection().insertStatement());
    if (!ins.status()) {
        return ins.status();
    }
    for (const LedgerRow& l : ledger) {
        int c = 1;
        ins.bind(c++, id);
        ins.bind(c++, qint64(0));
        ins.bind(c++, l.agent);
        ins.bind(c++, l.account);
        ins.bind(c++, l.scheme);
        ins.bind(c++, l.category);
        ins.bind(c++, l.branch);
        ins.bind(c++, isoOrNull(l.date));
        ins.bind(c++, l.time);
        ins.bind(c++, l.amount);
        ins.bind(c++, l.transaction);
        ins.bind(c++, l.closing);
        ins.bind(c++, qint64(l.inDownload ? 1 : 0));
        ins.bind(c++, qint64(l.unreadable() ? 1 : 0));
        ins.bind(c++, l.storedAmount);
        ins.bind(c++, l.storedDateTime);
        ins.bind(c++, qint64(l.posted ? 1 : 0));
        if (DbStatus s = ins.run(); !s) {
            return s;
        }
    }
    Statement dayIns(m_db, tables::ledgerDay().insertStatement());
    if (!dayIns.status()) {
        return dayIns.status();
    }
    for (auto it = days.cbegin(); it != days.cend(); ++it) {
        int c = 1;
        dayIns.bind(c++, id);
        dayIns.bind(c++, qint64(0));
        dayIns.bind(c++, it.key().agent);
        dayIns.bind(c++, it.key().branch);
        dayIns.bind(c++, isoOrNull(it.key().date));
        dayIns.bind(c++, it.value().count);
        dayIns.bind(c++, it.value().total);
        if (DbStatus s = dayIns.run(); !s) {
            return s;
        }
    }
    if (uploadId) {
        *uploadId = id;
    }
    return {};
}

DbStatus LedgerStore::seedFromRestoreData(const std::function<void(qint64 entered)>& entered) {
    // The terminal's totals of each agent's last upload, where the file kept them.
    QHash<QString, UploadInfo> infos;
    {
        DbStatus st;
        for (const UploadInfo& i : RestoreDataStore(m_db).uploadInfos(&st)) {
            if (!infos.contains(agentKey(i.AgentID))) {
                infos.insert(agentKey(i.AgentID), i);
            }
        }
        if (!st) {
            return st;
        }
    }
    // Every row, agent after agent and in the order they were stored within each (the order
    // of the agents' index, so no sort is needed); only the current agent's rows are held. An
    // agent is named as its first row spells it.
    QVector<RestoreDataRow> rows;
    QString current;
    qint64 done = 0;
    auto enter = [&]() -> DbStatus {
        if (rows.isEmpty()) {
            return {};
        }
        LedgerHeader h;
        h.AgentID = rows.front().AgentID.trimmed();
        if (const auto info = infos.constFind(current); info != infos.cend()) {
            h.AgentDateKey = info->AgentDateKey;
            h.TerminalCount = info->TotalTransactions;
            h.TerminalTotal = info->TotalAmount >= 0 ? info->TotalAmount * 100 : -1;
            h.ReceivedAt = info->UploadedAt;
        }
        if (DbStatus s = append(h, rows); !s) {
            return s;
        }
        done += rows.size();
        rows.clear();
        if (entered) {
            entered(done);
        }
        return {};
    };
    // Only the columns the ledger keeps.
    RowReader r(m_db,
                QStringLiteral("SELECT AgentID, BranchID, AccountNo, Amtcollected, DateTime, "
                               "TransactionNumber, CategoryCode, SchemeCode, BalanceAmount, "
                               "LastTxndate FROM RestoreData ORDER BY %1, rowid")
                    .arg(agentKeySql(QStringLiteral("AgentID"))),
                {});
    while (r.next()) {
        RestoreDataRow row;
        int c = 0;
        for (QString* field : {&row.AgentID, &row.BranchID, &row.AccountNo, &row.Amtcollected,
                               &row.DateTime, &row.TransactionNumber, &row.CategoryCode,
                               &row.SchemeCode, &row.BalanceAmount, &row.LastTxndate}) {
            *field = r.text(c++);
        }
        QString key = agentKey(row.AgentID);
        if (key != current) {
            if (DbStatus s = enter(); !s) {
                return s;
            }
            current = std::move(key);
        }
        rows.push_back(std::move(row));
    }
    if (!r.status()) {
        return r.status();
    }
    return enter();
}

DbStatus LedgerStore::recordFiles(const QString& agentId, const QString& uploadFile,
                                  const QString& checkFile) {
    return execSql(m_db, tables::ledgerUpload().name,
                   QStringLiteral("UPDATE LedgerUpload SET "
                                  "UploadFile = CASE WHEN ? = '' THEN UploadFile ELSE ? END, "
                                  "CheckFile = CASE WHEN ? = '' THEN CheckFile ELSE ? END "
                                  "WHERE UploadID = (SELECT max(UploadID) FROM LedgerUpload "
                                  "WHERE %1)")
                       .arg(agentIsSql()),
                   {uploadFile, uploadFile, checkFile, checkFile, agentKey(agentId)});
}

QVector<LedgerUploadRow> LedgerStore::uploads(DbStatus* status) {
    Statement q(m_db, QStringLiteral("SELECT %1 FROM LedgerUpload ORDER BY UploadID")
                          .arg(tables::ledgerUpload().selectList()));
    QVector<LedgerUploadRow> out;
    while (q.next()) {
        LedgerUploadRow u;
        int c = 0;
        u.UploadID = q.integer(c++);
        u.AgentID = q.text(c++);
        u.AgentDateKey = q.text(c++);
        u.Day = QDate::fromString(q.text(c++), Qt::ISODate);
        if (!q.isNull(c)) {
            u.TerminalCount = int(q.integer(c));
        }
        ++c;
        if (!q.isNull(c)) {
            u.TerminalTotal = q.integer(c);
        }
        ++c;
        u.StoredCount = int(q.integer(c++));
        u.StoredTotal = q.integer(c++);
        u.ReceivedAt = QDateTime::fromString(q.text(c++), Qt::ISODate);
        u.Outcome = q.text(c++);
        u.BackupFile = q.text(c++);
        u.UploadFile = q.text(c++);
        u.CheckFile = q.text(c++);
        if (!q.isNull(c)) {
            u.SupersededBy = q.integer(c);
        }
        out.push_back(std::move(u));
    }
    if (status) {
        *status = q.status();
    }
    return out;
}

}  // namespace kovrin
