#include "reports/ReportCsv.h"

#include "core/SafeFile.h"
#include "reports/DailyReportPager.h"

#include <QBuffer>
#include <QStringList>

namespace kovrin {

namespace {

// Lines gathered into a block and written when it is full.
class CsvOut {
public:
    explicit CsvOut(QIODevice& device) : m_device(device) {}
    void operator()(const QStringList& fields) {
        for (int i = 0; i < fields.size(); ++i) {
            if (i > 0) {
                m_block += ',';
            }
            m_block += csvField(fields[i]).toUtf8();
        }
        m_block += "\r\n";
        if (m_block.size() >= kBlock) {
            flush();
        }
    }
    bool finish() {
        flush();
        return m_ok;
    }

private:
    static constexpr int kBlock = 1 << 16;
    void flush() {
        if (m_ok && !m_block.isEmpty() && m_device.write(m_block) != m_block.size()) {
            m_ok = false;
        }
        m_block.clear();
    }
    QIODevice& m_device;
    QByteArray m_block;
    bool m_ok = true;
};

template <typename Data>
QByteArray inMemory(const Data& data, bool (*write)(const Data&, QIODevice&)) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    write(data, buffer);
    return buffer.data();
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

namespace {

void dailyHeading(CsvOut& appendLine) {
    appendLine({QStringLiteral("Date"), QStringLiteral("AgentID"), QStringLiteral("Account No"),
                QStringLiteral("Closing Amount"), QStringLiteral("Collected Amount"),
                QStringLiteral("Bank Posting")});
}

void dailyLine(CsvOut& appendLine, const CollectionRow& r) {
    appendLine({r.Date.toString(Qt::ISODate), spreadsheetText(r.AgentID),
                spreadsheetText(r.AccountNo), r.ClosingAmt ? amountText(*r.ClosingAmt) : QString(),
                amountText(r.CollectedAmt),
                r.posting == Posting::Posted ? QStringLiteral("Posted") : postingText(r.posting)});
}

void dailyUnreadable(CsvOut& appendLine, const QVector<UnreadableRow>& unreadable) {
    if (!unreadable.isEmpty()) {
        appendLine({kUnreadableHeading,
                    QStringLiteral("AgentID"),
                    QStringLiteral("Account No"),
                    {},
                    {},
                    QStringLiteral("Stored Amount"),
                    QStringLiteral("Stored Date and Time")});
    }
    for (const UnreadableRow& r : unreadable) {
        appendLine({kUnreadable,
                    spreadsheetText(r.AgentID),
                    spreadsheetText(r.AccountNo),
                    {},
                    {},
                    spreadsheetText(r.Amtcollected),
                    spreadsheetText(r.DateTime)});
    }
}

}  // namespace

bool writeDailyCollectionCsv(const DailyCollectionData& data, QIODevice& device) {
    CsvOut appendLine(device);
    dailyHeading(appendLine);
    for (const CollectionGroup& g : data.groups) {
        for (const CollectionRow& r : g.rows) {
            dailyLine(appendLine, r);
        }
    }
    dailyUnreadable(appendLine, data.unreadable);
    return appendLine.finish();
}

CsvOutcome streamDailyCollectionCsv(DailyReportPager& pager, QIODevice& device, QString* error,
                                    const std::function<bool(qint64 rows)>& progress) {
    CsvOut appendLine(device);
    dailyHeading(appendLine);
    qint64 written = 0;
    for (qint64 page = 0;; ++page) {
        const DailyReportState st = pager.state();
        if (st.walked && page * pager.pageRows() >= st.rows) {
            break;
        }
        const auto rows = pager.rowsOfPage(page);
        if (!rows) {
            const DailyReportState now = pager.state();
            if (now.walked && page * pager.pageRows() >= now.rows) {
                break;
            }
            if (error) {
                *error = now.failed() ? now.status.detail
                                      : QStringLiteral("the reading of the report was stopped");
            }
            return now.failed() ? CsvOutcome::ReadFailed : CsvOutcome::Cancelled;
        }
        for (const CollectionRow& r : *rows) {
            dailyLine(appendLine, r);
        }
        written += rows->size();
        if (progress && !progress(written)) {
            return CsvOutcome::Cancelled;
        }
    }
    dailyUnreadable(appendLine, pager.state().unreadable);
    if (!appendLine.finish()) {
        if (error) {
            *error = device.errorString();
        }
        return CsvOutcome::WriteFailed;
    }
    return CsvOutcome::Done;
}

bool writeAgentCollectionCsv(const AgentCollectionData& data, QIODevice& device) {
    CsvOut appendLine(device);
    appendLine(
        {QStringLiteral("AgentID"), QStringLiteral("Collected Amount"), QStringLiteral("Date")});
    for (const AgentCollectionRow& r : data.rows) {
        appendLine(
            {spreadsheetText(r.AgentID), amountText(r.CollectedAmt), r.Date.toString(Qt::ISODate)});
    }
    if (!data.unreadable.isEmpty()) {
        appendLine({QStringLiteral("AgentID"),
                    {},
                    kUnreadableHeading,
                    QStringLiteral("Account No"),
                    QStringLiteral("Stored Amount"),
                    QStringLiteral("Stored Date and Time")});
    }
    for (const UnreadableRow& r : data.unreadable) {
        appendLine({spreadsheetText(r.AgentID),
                    {},
                    kUnreadable,
                    spreadsheetText(r.AccountNo),
                    spreadsheetText(r.Amtcollected),
                    spreadsheetText(r.DateTime)});
    }
    return appendLine.finish();
}

bool writeUploadRegisterCsv(const RegisterData& data, QIODevice& device) {
    CsvOut appendLine(device);
    appendLine({QStringLiteral("Day"), QStringLiteral("AgentID"), QStringLiteral("Day Key"),
                QStringLiteral("Received"), QStringLiteral("Terminal Count"),
                QStringLiteral("Terminal Total"), QStringLiteral("Stored Count"),
                QStringLiteral("Stored Total"), QStringLiteral("Count Difference"),
                QStringLiteral("Difference"), QStringLiteral("Outcome"), QStringLiteral("Counted"),
                QStringLiteral("Backup File"), QStringLiteral("Upload File"),
                QStringLiteral("Check File")});
    for (const RegisterGroup& g : data.groups) {
        for (const RegisterRow& r : g.rows) {
            const auto count = r.countDifference();
            const auto difference = r.difference();
            appendLine({r.Day.toString(Qt::ISODate), spreadsheetText(r.AgentID),
                        spreadsheetText(r.AgentDateKey),
                        r.ReceivedAt.isValid()
                            ? r.ReceivedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                            : QString(),
                        r.TerminalCount ? QString::number(*r.TerminalCount) : QString(),
                        r.TerminalTotal ? amountText(*r.TerminalTotal) : QString(),
                        QString::number(r.StoredCount), amountText(r.StoredTotal),
                        count ? QString::number(*count) : QString(),
                        difference ? amountText(*difference) : QString(), r.Outcome,
                        r.superseded ? QStringLiteral("no") : QStringLiteral("yes"),
                        spreadsheetText(r.BackupFile), spreadsheetText(r.UploadFile),
                        spreadsheetText(r.CheckFile)});
        }
    }
    return appendLine.finish();
}

QByteArray dailyCollectionCsv(const DailyCollectionData& data) {
    return inMemory(data, &writeDailyCollectionCsv);
}

QByteArray agentCollectionCsv(const AgentCollectionData& data) {
    return inMemory(data, &writeAgentCollectionCsv);
}

QByteArray uploadRegisterCsv(const RegisterData& data) {
    return inMemory(data, &writeUploadRegisterCsv);
}

bool saveFile(const QString& path, const std::function<bool(QIODevice&)>& write, QString* error) {
    // Never through a link at the chosen name: the file is replaced whole or stays as it was.
    files::WholeFileWriter file(GuardedPath::ofFile(path));
    FileResult result = file.open();
    if (result && !write(*file.device())) {
        result = {false, false, file.device()->errorString()};
    }
    if (result) {
        result = file.commit();
    }
    if (!result && error) {
        *error = result.error;
    }
    return bool(result);
}

bool saveFile(const QString& path, const QByteArray& bytes, QString* error) {
    return saveFile(
        path, [&bytes](QIODevice& device) { return device.write(bytes) == bytes.size(); }, error);
}

}  // namespace kovrin
