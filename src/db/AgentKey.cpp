#include "db/AgentKey.h"

namespace kovrin {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

}  // namespace

QString agentKey(const QString& agentId) {
    qsizetype from = 0;
    qsizetype to = agentId.size();
    while (from < to && isBlank(agentId[from])) {
        ++from;
    }
    while (to > from && isBlank(agentId[to - 1])) {
        --to;
    }
    const QStringView id = QStringView(agentId).mid(from, to - from);
    if (id.isEmpty()) {
        return QStringLiteral("");
    }
    for (const QChar c : id) {
        if (!isDigit(c)) {
            return id.toString();
        }
    }
    qsizetype zeros = 0;
    while (zeros + 1 < id.size() && id[zeros] == u'0') {
        ++zeros;
    }
    return id.mid(zeros).toString();
}

bool sameAgent(const QString& a, const QString& b) {
    return agentKey(a) == agentKey(b);
}

QString agentKeySql(const QString& column) {
    // t = the identifier without its blanks; digits only when trimming the ten digits off t
    // leaves nothing.
    const QString t = QStringLiteral("trim(%1, char(32, 9, 13, 10))").arg(column);
    return QStringLiteral(
               "(CASE WHEN %1 <> '' AND trim(%1, '0123456789') = '' "
               "THEN coalesce(nullif(ltrim(%1, '0'), ''), '0') ELSE %1 END)")
        .arg(t);
}

const QString& agentIsSql() {
    static const QString sql = agentKeySql(QStringLiteral("AgentID")) + QStringLiteral(" = ?");
    return sql;
}

}  // namespace kovrin
