#include "upload/RestoreRows.h"

#include "db/AgentKey.h"
#include "link/Encoding.h"
#include "link/Frame.h"

#include <QDate>
#include <QSet>
#include <algorithm>

namespace kovrin {

namespace {

// Position of the number of transactions in a transaction frame.
constexpr int kCountPos = 133;

QString lookupKey(const QString& acNumber, const QString& schemeCode, const QString& categoryCode,
                  const QString& agentId) {
    const QChar sep(0x1F);  // never in a field the download or the terminal gives
    return acNumber + sep + schemeCode + sep + categoryCode + sep + agentKey(agentId);
}

// A decimal text (optional sign, digits, at most one point) in hundredths, rounded half away
// from zero; empty when the text is not such a number or is too long to be an amount.
std::optional<qint64> hundredthsOf(const QString& text) {
    QString t = text.trimmed();
    bool negative = false;
    if (t.startsWith(u'-') || t.startsWith(u'+')) {
        negative = t.startsWith(u'-');
        t.remove(0, 1);
    }
    const qsizetype point = t.indexOf(u'.');
    const QString whole = point < 0 ? t : t.left(point);
    const QString fraction = point < 0 ? QString() : t.mid(point + 1);
    if ((whole.isEmpty() && fraction.isEmpty()) || whole.size() > 15) {
        return std::nullopt;
    }
    const auto digitsOnly = [](const QString& s) {
        return std::all_of(s.begin(), s.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
    };
    if (!digitsOnly(whole) || !digitsOnly(fraction)) {
        return std::nullopt;
    }
    const QString f = (fraction + QStringLiteral("000")).left(3);
    qint64 value = whole.isEmpty() ? 0 : whole.toLongLong();
    value = value * 100 + f.left(2).toInt();
    if (f.at(2) >= u'5') {
        ++value;
    }
    return negative ? -value : value;
}

// At least `integerDigits` integer digits and two decimals.
QString fixedPoint(const QString& text, int integerDigits) {
    if (text.trimmed().isEmpty()) {
        return {};
    }
    const std::optional<qint64> v = hundredthsOf(text);
    if (!v) {
        return text;
    }
    const qint64 a = *v < 0 ? -*v : *v;
    return QString::fromLatin1(*v < 0 ? "-" : "") +
           QString::number(a / 100).rightJustified(integerDigits, u'0') + u'.' +
           QString::number(a % 100).rightJustified(2, u'0');
}

// The frame's account columns, and the account's details when the download holds it.
RestoreDataRow accountRow(const link::TransactionFrame& tf, const AccountLookup& accounts,
                          const QString& agentId) {
    RestoreDataRow row;
    row.AccountNo = tf.AccountNo;
    row.SchemeCode = tf.SchemeCode;
    row.CategoryCode = tf.CategoryCode;
    row.AgentID = agentId;
    if (const BankDataRow* a =
            accounts.find(tf.AccountNo, tf.SchemeCode, tf.CategoryCode, agentId)) {
        row.BranchID = a->BranchID;
        row.CustomerCode = a->CustomerCode;
        row.AccountName = a->ACName;
        row.BalanceAmount = BalanceAmountOf(a->BalAmount);
        row.AgreedAmount = AgreedAmountOf(a->AgreedAmount);
        row.LastTxndate = LastTxndateOf(a->MyDate);
        row.AgentID = a->AgentID;
        row.BankSoftACNumber = a->BankSoftACNumber;
    }
    return row;
}

RestoreProblem problemOf(int recordNo, int slot, const link::TransactionFrame& tf,
                         const QString& what, const QByteArray& bytes) {
    RestoreProblem p;
    p.recordNo = recordNo;
    p.slot = slot;
    p.CategoryCode = tf.CategoryCode;
    p.SchemeCode = tf.SchemeCode;
    p.AccountNo = tf.AccountNo;
    p.what = what;
    p.bytes = bytes;
    return p;
}

}  // namespace

AccountLookup::AccountLookup(QVector<BankDataRow> rows) : m_rows(std::move(rows)) {
    m_index.reserve(m_rows.size());
    for (int i = 0; i < m_rows.size(); ++i) {
        const BankDataRow& r = m_rows[i];
        // The first row of a key wins, as a query for the first matching row would give.
        const QString key = lookupKey(r.ACNumber, r.SchemeCode, r.CategoryCode, r.AgentID);
        if (!m_index.contains(key)) {
            m_index.insert(key, i);
        }
    }
}

const BankDataRow* AccountLookup::find(const QString& acNumber, const QString& schemeCode,
                                       const QString& categoryCode, const QString& agentId) const {
    const auto it = m_index.constFind(lookupKey(acNumber, schemeCode, categoryCode, agentId));
    return it == m_index.cend() ? nullptr : &m_rows[*it];
}

QVector<RestoreDataRow> buildRestoreRows(const UploadData& data, const AccountLookup& accounts,
                                         int referenceYear, QVector<RestoreProblem>* problems) {
    QVector<RestoreDataRow> rows;
    const int total = std::clamp(data.TotalRecords, 0, kMaxUploadRecords);
    rows.reserve(total);
    const auto report = [problems](RestoreProblem p) {
        if (problems) {
            problems->push_back(std::move(p));
        }
    };

    for (int i = 1; i <= total; ++i) {
        const int recordNo = i + 1;
        QByteArray frame =
            recordNo < data.RecordFrames.size() ? data.RecordFrames[recordNo] : QByteArray();
        if (frame.size() < kCountPos) {
            // Without its count byte nothing in the frame can be told apart.
            const link::TransactionFrame tf = link::decodeTransactionFrame(frame, referenceYear);
            report(problemOf(recordNo, 0, tf,
                             frame.isEmpty()
                                 ? QStringLiteral("the record was not received")
                                 : QStringLiteral("the record has only %1 bytes, so its "
                                                  "transactions could not be read")
                                       .arg(frame.size()),
                             {}));
            continue;
        }
        const quint8 countByte = static_cast<quint8>(frame[kCountPos - 1]);
        const link::TransactionFrame tf = link::decodeTransactionFrame(frame, referenceYear);
        if (!link::countByteFits(countByte)) {
            // The slots of such a frame cannot be told apart: none is read, none invented.
            report(problemOf(
                recordNo, 0, tf,
                QStringLiteral("the number of transactions (byte %1) is not one a "
                               "record can hold, so none of its transactions "
                               "could be read")
                    .arg(QString::number(countByte, 16).rightJustified(2, u'0').toUpper()),
                QByteArray(1, static_cast<char>(countByte))));
            continue;
        }
        if (tf.shortFrame) {
            report(problemOf(recordNo, 0, tf,
                             QStringLiteral("the record has only %1 bytes").arg(frame.size()), {}));
        }

        const RestoreDataRow account = accountRow(tf, accounts, data.agentId);
        if (tf.noTransactions) {
            rows.push_back(account);
            continue;
        }
        for (int t = 0; t < tf.count; ++t) {
            const link::TransactionSlot& slot = tf.transactions[static_cast<size_t>(t)];
            RestoreDataRow row = account;
            row.Amtcollected = slot.Amtcollected;
            row.DateTime = slot.DateTime;
            row.TransactionNumber = slot.TransactionNumber;
            rows.push_back(std::move(row));
            if (!slot.ok) {
                const int pos = 70 + link::kSlotSize * t;
                RestoreProblem p = problemOf(recordNo, t + 1, tf, slot.reason,
                                             frame.mid(pos - 1, link::kSlotSize));
                p.amountLost = slot.Amtcollected.isEmpty();
                report(std::move(p));
            }
        }
    }
    return rows;
}

bool accountFound(const RestoreDataRow& row) {
    return !row.LastTxndate.isEmpty();
}

QString BalanceAmountOf(const QString& balAmount) {
    return fixedPoint(balAmount, 10);
}

QString AgreedAmountOf(const QString& agreedAmount) {
    return fixedPoint(agreedAmount, 5);
}

QString LastTxndateOf(const QString& myDate) {
    return myDate.mid(0, 2) + u'/' + myDate.mid(2, 2) + QStringLiteral("/20") + myDate.mid(4, 2);
}

bool isRealDateTime(const QString& dateTime) {
    // DD/MM/YYYY HH:NN, read by hand: every upload row passes here, and a date parser built
    // for each of 14000 rows would cost the store most of its time.
    if (dateTime.size() != 16 || dateTime[2] != u'/' || dateTime[5] != u'/' ||
        dateTime[10] != u' ' || dateTime[13] != u':') {
        return false;
    }
    const auto number = [&dateTime](int from, int digits) {
        int v = 0;
        for (int i = from; i < from + digits; ++i) {
            const QChar c = dateTime[i];
            if (c < u'0' || c > u'9') {
                return -1;
            }
            v = v * 10 + (c.unicode() - u'0');
        }
        return v;
    };
    const int day = number(0, 2), month = number(3, 2), year = number(6, 4);
    const int hour = number(11, 2), minute = number(14, 2);
    return QDate::isValid(year, month, day) && hour >= 0 && hour < 24 && minute >= 0 && minute < 60;
}

bool isCollection(const RestoreDataRow& row) {
    return !row.Amtcollected.isEmpty() || !row.DateTime.isEmpty();
}

QString leftOutReason(const RestoreDataRow& row, const QString& agentId) {
    if (!isCollection(row)) {
        return {};
    }
    if (!accountFound(row)) {
        return QStringLiteral("the account was not in the last download of agent %1")
            .arg(agentId.trimmed());
    }
    if (row.Amtcollected.isEmpty() || !hundredthsOf(row.Amtcollected)) {
        return QStringLiteral("its amount could not be read");
    }
    if (!isRealDateTime(row.DateTime)) {
        return QStringLiteral("its date or time \"%1\" is not a real one").arg(row.DateTime);
    }
    return {};
}

bool postable(const RestoreDataRow& row) {
    return isCollection(row) && leftOutReason(row, row.AgentID).isEmpty();
}

QStringList bankFileReasons(const QVector<RestoreDataRow>& rows, const QString& agentId) {
    QStringList reasons;
    reasons.reserve(rows.size());
    QSet<QString> numbers;
    for (const RestoreDataRow& row : rows) {
        QString reason = leftOutReason(row, agentId);
        if (reason.isEmpty() && isCollection(row)) {
            if (numbers.contains(row.TransactionNumber)) {
                reason = QStringLiteral(
                    "a repeated transaction number: the bank upload file has the first "
                    "collection of that number");
            } else {
                numbers.insert(row.TransactionNumber);
            }
        }
        reasons << reason;
    }
    return reasons;
}

}  // namespace kovrin
