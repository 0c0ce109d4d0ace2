#include "db/Schema.h"

#include "db/SchemaSql.h"
#include "db/Tables.h"

#include <QRegularExpression>

namespace kovrin::schema {

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
        current += line + QLatin1Char('\n');
        if (line.trimmed().endsWith(QLatin1Char(';'))) {
            statements << current.trimmed().chopped(1);
            current.clear();
        }
    }
    return statements;
}

}  // namespace kovrin::schema
