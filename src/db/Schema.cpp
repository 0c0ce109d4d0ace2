#include "db/Schema.h"

#include "db/AgentKey.h"
#include "db/SchemaSql.h"
#include "db/Tables.h"

#include <QRegularExpression>

namespace kovrin::schema {

namespace {

// AGENT_KEY(column) written out as the expression the stores compare agents with.
QString withAgentKeys(QString line) {
    static const QRegularExpression agentKey(QStringLiteral("AGENT_KEY\\((\\w+)\\)"));
    QRegularExpressionMatch m;
    while ((m = agentKey.match(line)).hasMatch()) {
        line.replace(m.capturedStart(), m.capturedLength(), agentKeySql(m.captured(1)));
    }
    return line;
}

}  // namespace

QStringList createTables() {
    QStringList statements;
    for (const tables::Table* t : tables::all()) {
        statements << t->createStatement();
    }
    return statements;
}

QStringList indexesAndViews() {
    QStringList statements;
    QString current;
    for (const QString& line : QString::fromUtf8(kSchemaSql).split(QLatin1Char('\n'))) {
        if (line.trimmed().startsWith(QLatin1String("--"))) {
            continue;
        }
        current += withAgentKeys(line) + QLatin1Char('\n');
        if (line.trimmed().endsWith(QLatin1Char(';'))) {
            statements << current.trimmed().chopped(1);
            current.clear();
        }
    }
    return statements;
}

}  // namespace kovrin::schema
