#include "reports/ReportCsv.h"

#include <QSaveFile>
#include <QStringList>

namespace kovrin {

namespace {

void appendLine(QByteArray& out, const QStringList& fields) {
    QStringList quoted;
    quoted.reserve(fields.size());
    for (const QString& f : fields) {
        quoted << csvField(f);
    }
    out += quoted.join(QLatin1Char(',')).toUtf8();
    out += "\r\n";
}

const QString kUnreadable = QStringLiteral("Could not be read");
const QString kUnreadableHeading = QStringLiteral("Collections that could not be read");

}  // namespace

QString spreadsheetText(const QString& text) {
    static const QString kFormulaStarts = QStringLiteral("=+-@\t\r");
    if (!text.isEmpty() && kFormulaStarts.contains(text.front())) {
        return QLatin1Char('\'') + text;
    }
    return text;
}

QString csvField(const QString& text) {
    const bool needsQuotes = text.contains(QLatin1Char(',')) || text.contains(QLatin1Char('"')) ||
                             text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
    if (!needsQuotes) {
        return text;
    }
    QString t = text;
    t.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + t + QLatin1Char('"');
}

QByteArray dailyCollectionCsv(const DailyCollectionData& data) {
    QByteArray out;
    appendLine(out,
               {QStringLiteral("Date"), QStringLiteral("AgentID"), QStringLiteral("Account No"),
                QStringLiteral("Closing Amount"), QStringLiteral("Collected Amount")});
    for (const CollectionGroup& g : data.groups) {
        for (const CollectionRow& r : g.rows) {
            appendLine(out, {r.Date.toString(Qt::ISODate), spreadsheetText(r.AgentID),
                             spreadsheetText(r.AccountNo),
                             r.ClosingAmt ? amountText(*r.ClosingAmt) : QString(),
                             amountText(r.CollectedAmt)});
        }
    }
    if (!data.unreadable.isEmpty()) {
        appendLine(out, {kUnreadableHeading,
                         QStringLiteral("AgentID"),
                         QStringLiteral("Account No"),
                         {},
                         {},
                         QStringLiteral("Stored Amount"),
                         QStringLiteral("Stored Date and Time")});
    }
    for (const UnreadableRow& r : data.unreadable) {
        appendLine(out, {kUnreadable,
                         spreadsheetText(r.AgentID),
                         spreadsheetText(r.AccountNo),
                         {},
                         {},
                         spreadsheetText(r.Amtcollected),
                         spreadsheetText(r.DateTime)});
    }
    return out;
}

QByteArray agentCollectionCsv(const AgentCollectionData& data) {
    QByteArray out;
    appendLine(out, {QStringLiteral("AgentID"), QStringLiteral("Collected Amount"),
                     QStringLiteral("Date")});
    for (const AgentCollectionRow& r : data.rows) {
        appendLine(out, {spreadsheetText(r.AgentID), amountText(r.CollectedAmt),
                         r.Date.toString(Qt::ISODate)});
    }
    if (!data.unreadable.isEmpty()) {
        appendLine(out, {QStringLiteral("AgentID"),
                         {},
                         kUnreadableHeading,
                         QStringLiteral("Account No"),
                         QStringLiteral("Stored Amount"),
                         QStringLiteral("Stored Date and Time")});
    }
    for (const UnreadableRow& r : data.unreadable) {
        appendLine(out, {spreadsheetText(r.AgentID),
                         {},
                         kUnreadable,
                         spreadsheetText(r.AccountNo),
                         spreadsheetText(r.Amtcollected),
                         spreadsheetText(r.DateTime)});
    }
    return out;
}

bool saveFile(const QString& path, const QByteArray& bytes, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) {
            *error = file.errorString();
        }
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        if (error) {
            *error = file.errorString();
        }
        file.cancelWriting();
        return false;
    }
    return true;
}

}  // namespace kovrin
