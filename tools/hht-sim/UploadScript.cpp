#include "UploadScript.h"

#include "link/Encoding.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

namespace kovrin::sim {

namespace {

// Words of a line: blanks separate them, double quotes keep blanks inside one, "#" outside
// quotes starts a comment. Empty when a quote is not closed.
std::optional<QStringList> words(const QString& line) {
    QStringList out;
    QString cur;
    bool inWord = false;
    bool quoted = false;
    for (const QChar c : line) {
        if (quoted) {
            if (c == u'"') {
                quoted = false;
            } else {
                cur.append(c);
            }
        } else if (c == u'"') {
            quoted = true;
            inWord = true;
        } else if (c == u'#' && !inWord) {
            break;
        } else if (c.isSpace()) {
            if (inWord) {
                out << cur;
                cur.clear();
                inWord = false;
            }
        } else {
            cur.append(c);
            inWord = true;
        }
    }
    if (quoted) {
        return std::nullopt;
    }
    if (inWord) {
        out << cur;
    }
    return out;
}

std::optional<qint64> number(const QString& text, qint64 max) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,12}$"));
    if (!digits.match(text).hasMatch()) {
        return std::nullopt;
    }
    const qint64 v = text.toLongLong();
    return v <= max ? std::optional<qint64>(v) : std::nullopt;
}

// A whole amount: "500", "500.00"; a fraction other than zero is refused, since the
// terminal keeps whole units.
std::optional<qint64> amount(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^([0-9]{1,6})(\\.0*)?$"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    return m.captured(1).toLongLong();
}

QDate date(const QString& text) {
    const QDate d = QDate::fromString(text, QStringLiteral("dd/MM/yyyy"));
    return d.isValid() && d.year() >= 2000 && d.year() <= 2099 ? d : QDate();
}

class Parser {
public:
    ScriptResult run(const QString& text) {
        const QStringList lines = text.split(u'\n');
        for (int i = 0; i < lines.size(); ++i) {
            m_line = i + 1;
            const std::optional<QStringList> w = words(lines[i]);
            if (!w) {
                return fail(QStringLiteral("a double quote is not closed"));
            }
            if (w->isEmpty()) {
                continue;
            }
            if (!line(*w)) {
                return fail(m_error);
            }
        }
        m_line = 0;
        if (m_script.agentNumber.isEmpty()) {
            return fail(QStringLiteral("no \"agent\" line"));
        }
        if (m_script.ddmm.isEmpty()) {
            if (!m_collectedOn.isValid()) {
                return fail(QStringLiteral("no \"date\" line"));
            }
            m_script.ddmm = m_collectedOn.toString(QStringLiteral("ddMM"));
        }
        if (m_script.agentId.isEmpty()) {
            m_script.agentId = m_script.agentNumber;
        }
        m_script.agentId = m_script.agentId.leftJustified(15, u' ');
        return {true, m_script, {}};
    }

private:
    ScriptResult fail(const QString& why) {
        return {false, {}, m_line > 0 ? QStringLiteral("line %1: %2").arg(m_line).arg(why) : why};
    }

    bool error(const QString& why) {
        m_error = why;
        return false;
    }

    bool argCount(const QStringList& w, int min, int max, const char* usage) {
        if (w.size() - 1 < min || w.size() - 1 > max) {
            return error(QStringLiteral("expected: %1").arg(QLatin1String(usage)));
        }
        return true;
    }

    bool line(const QStringList& w) {
        const QString key = w[0].toLower();
        if (key == u"agent") {
            if (!argCount(w, 1, 1, "agent <number of up to 3 digits>")) {
                return false;
            }
            const auto n = number(w[1], 999);
            if (!n) {
                return error(
                    QStringLiteral("agent \"%1\" is not a number of up to 3 digits").arg(w[1]));
            }
            m_script.agentNumber = QString::number(*n).rightJustified(3, u'0');
        } else if (key == u"agent-id") {
            if (!argCount(w, 1, 1, "agent-id <up to 15 characters>")) {
                return false;
            }
            if (w[1].size() > 15 || w[1].toLatin1().size() != w[1].size()) {
                return error(
                    QStringLiteral("agent id \"%1\" is not up to 15 characters").arg(w[1]));
            }
            m_script.agentId = w[1];
        } else if (key == u"date") {
            if (!argCount(w, 1, 1, "date <ddmm>")) {
                return false;
            }
            if (!QRegularExpression(QStringLiteral("^[0-9]{4}$")).match(w[1]).hasMatch() ||
                !QDate(2000, w[1].mid(2, 2).toInt(), w[1].left(2).toInt()).isValid()) {
                return error(QStringLiteral("date \"%1\" is not ddmm").arg(w[1]));
            }
            m_script.ddmm = w[1];
        } else if (key == u"collected-on") {
            if (!argCount(w, 1, 1, "collected-on <dd/mm/yyyy>")) {
                return false;
            }
            m_collectedOn = date(w[1]);
            if (!m_collectedOn.isValid()) {
                return error(
                    QStringLiteral("\"%1\" is not a date dd/mm/yyyy of 2000-2099").arg(w[1]));
            }
        } else if (key == u"record-count" || key == u"total-transactions") {
            if (!argCount(w, 1, 1, "record-count|total-transactions <0-65535>")) {
                return false;
            }
            const auto n = number(w[1], 65535);
            if (!n) {
                return error(QStringLiteral("\"%1\" is not a number 0-65535").arg(w[1]));
            }
            (key == u"record-count" ? m_script.recordCount : m_script.totalTransactions) =
                static_cast<int>(*n);
        } else if (key == u"total-amount") {
            if (!argCount(w, 1, 1, "total-amount <whole units, up to 8 digits>")) {
                return false;
            }
            const auto n = number(w[1], 99999999);
            if (!n) {
                return error(
                    QStringLiteral("\"%1\" is not a whole amount of up to 8 digits").arg(w[1]));
            }
            m_script.totalAmount = *n;
        } else if (key == u"fault") {
            if (!argCount(w, 2, 2, "fault <name> <value>")) {
                return false;
            }
            // Checked on faults of its own; applied to the terminal's by applyScriptFaults.
            Faults check;
            const QString e = applyFault(check, w[1], w[2], QString());
            if (!e.isEmpty()) {
                return error(e);
            }
            m_script.faults.append({m_line, w[1], w[2]});
        } else if (key == u"account") {
            return account(w);
        } else if (key == u"txn") {
            return transaction(w);
        } else {
            return error(QStringLiteral("unknown line \"%1\"").arg(w[0]));
        }
        return true;
    }

    bool account(const QStringList& w) {
        if (!argCount(w, 3, 4, "account <category> <scheme> <account-number> [no-transactions]")) {
            return false;
        }
        ScriptAccount a;
        a.line = m_line;
        if (w[1].size() != 1 || w[2].size() > 5 || w[3].size() > 15 || w[2].isEmpty() ||
            w[3].isEmpty()) {
            return error(
                QStringLiteral("category must be 1 character, scheme up to 5, account "
                               "number up to 15"));
        }
        if ((w[1] + w[2] + w[3]).toLatin1().size() != (w[1] + w[2] + w[3]).size()) {
            return error(QStringLiteral("account fields must be Latin-1 text"));
        }
        a.category = w[1];
        a.scheme = w[2].leftJustified(5, u' ');
        a.account = w[3].leftJustified(15, u' ');
        if (w.size() == 5) {
            if (w[4].toLower() != u"no-transactions") {
                return error(QStringLiteral("\"%1\" is not \"no-transactions\"").arg(w[4]));
            }
            a.noTransactions = true;
        }
        m_script.accounts.append(a);
        return true;
    }

    bool transaction(const QStringList& w) {
        if (!argCount(w, 3, 4, "txn <amount> [<dd/mm/yyyy>] <hh:mm> <number>")) {
            return false;
        }
        if (m_script.accounts.isEmpty()) {
            return error(QStringLiteral("txn before any account"));
        }
        ScriptAccount& a = m_script.accounts.last();
        if (a.noTransactions) {
            return error(
                QStringLiteral("account of line %1 is marked no-transactions").arg(a.line));
        }
        CollectedTransaction t;
        const auto amt = amount(w[1]);
        if (!amt) {
            return error(
                QStringLiteral("amount \"%1\" is not whole units of up to 6 digits").arg(w[1]));
        }
        t.amount = *amt;
        int next = 2;
        if (w.size() == 5) {
            t.date = date(w[2]);
            if (!t.date.isValid()) {
                return error(
                    QStringLiteral("\"%1\" is not a date dd/mm/yyyy of 2000-2099").arg(w[2]));
            }
            next = 3;
        } else if (!m_collectedOn.isValid()) {
            return error(QStringLiteral("txn without a date and no \"collected-on\" line before"));
        } else {
            t.date = m_collectedOn;
        }
        t.time = QTime::fromString(w[next], QStringLiteral("HH:mm"));
        if (!t.time.isValid()) {
            return error(QStringLiteral("\"%1\" is not a time hh:mm").arg(w[next]));
        }
        const auto n = number(w[next + 1], 65535);
        if (!n) {
            return error(
                QStringLiteral("transaction number \"%1\" is not 0-65535").arg(w[next + 1]));
        }
        t.number = static_cast<int>(*n);
        a.transactions.append(t);
        return true;
    }

    UploadScript m_script;
    QDate m_collectedOn;
    int m_line = 0;
    QString m_error;
};

}  // namespace

ScriptResult parseUploadScript(const QString& text) {
    return Parser().run(text);
}

ScriptResult loadUploadScript(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return {false, {}, QStringLiteral("%1: %2").arg(path, file.errorString())};
    }
    ScriptResult r = parseUploadScript(QString::fromUtf8(file.readAll()));
    if (!r.ok) {
        r.error = QStringLiteral("%1: %2").arg(path, r.error);
    }
    return r;
}

void applyScriptFaults(const UploadScript& script, Faults& faults) {
    for (const ScriptFault& f : script.faults) {
        applyFault(faults, f.name, f.value);  // checked when the script was read
    }
}

UploadFrames buildUploadFrames(const UploadScript& s) {
    UploadFrames out;
    QVector<QByteArray> txnFrames;
    int transactions = 0;
    qint64 total = 0;
    for (const ScriptAccount& a : s.accounts) {
        // An account always gets at least one frame; more than 7 transactions go on in
        // further frames of the same account.
        qsizetype from = 0;
        do {
            const QVector<CollectedTransaction> part = a.transactions.mid(from, 7);
            const int recordNo = 2 + static_cast<int>(txnFrames.size());
            const BuildResult f = buildTransactionFrame(recordNo, a.category, a.scheme, a.account,
                                                        part, a.noTransactions);
            if (!f.ok) {
                out.error = QStringLiteral("line %1: %2").arg(a.line).arg(f.reason);
                return out;
            }
            txnFrames.append(f.frame);
            from += 7;
        } while (from < a.transactions.size());
        for (const CollectedTransaction& t : a.transactions) {
            ++transactions;
            total += t.amount;
        }
    }
    const BuildResult count =
        buildCountFrame(s.recordCount.value_or(static_cast<int>(txnFrames.size())), s.agentId);
    const BuildResult header =
        buildDayHeaderFrame(s.agentDateKey(), s.totalTransactions.value_or(transactions),
                            s.totalAmount.value_or(total));
    if (!count.ok || !header.ok) {
        out.error = count.ok ? header.reason : count.reason;
        return out;
    }
    out.frames << count.frame << header.frame << txnFrames;
    out.ok = true;
    return out;
}

}  // namespace kovrin::sim
