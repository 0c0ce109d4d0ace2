#pragma once

#include "reports/ReportData.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <functional>

namespace kovrin {

// The rows of a report as comma-separated text (UTF-8, CRLF line ends, a heading line first):
// the detail rows only, so that a spreadsheet can add them up itself. Dates are written
// yyyy-MM-dd, amounts "0.00"; a field holding a comma, a quote or a line break is quoted.
// Agent ids and account numbers come from outside the program and go through spreadsheetText.
//
// The collections that could not be read follow the rows, after a line that heads them and
// names their columns. Each is marked "Could not be read" in the report's Date column, keeps
// the report's AgentID column, and leaves every amount column empty, so that a column's sum in
// a spreadsheet is still the report's total; the account number and the stored amount and
// date-time texts come after the report's columns:
//   daily: Could not be read,<agent>,<account>,,,<stored amount>,<stored date and time>
//   agent: <agent>,,Could not be read,<account>,<stored amount>,<stored date and time>
QByteArray dailyCollectionCsv(const DailyCollectionData& data);
QByteArray agentCollectionCsv(const AgentCollectionData& data);
// The upload register: one line per upload, superseded ones included (Counted "no"), with the
// files written for it:
//   Day,AgentID,Day Key,Received,Terminal Count,Terminal Total,Stored Count,Stored Total,
//   Count Difference,Difference,Outcome,Counted,Backup File,Upload File,Check File
QByteArray uploadRegisterCsv(const RegisterData& data);

// The same lines written to `out` a block at a time, so that a report of any size is saved
// without being held whole in memory. False when `out` refuses a write.
bool writeDailyCollectionCsv(const DailyCollectionData& data, QIODevice& out);
bool writeAgentCollectionCsv(const AgentCollectionData& data, QIODevice& out);
bool writeUploadRegisterCsv(const RegisterData& data, QIODevice& out);

class DailyReportPager;

enum class CsvOutcome { Done, WriteFailed, ReadFailed, Cancelled };

// The daily collection report's lines as its reader gives them, page by page in order: a report
// of any length is written holding one page of rows at a time. `progress` is told the rows
// written after each page; returning false stops the writing (Cancelled). On ReadFailed and
// WriteFailed, *error has the reason.
CsvOutcome streamDailyCollectionCsv(DailyReportPager& pager, QIODevice& out, QString* error,
                                    const std::function<bool(qint64 rows)>& progress = {});

// One field as it goes into a line: quoted when it holds a comma, a quote or a line break.
QString csvField(const QString& text);

// A text from outside the program as a spreadsheet must take it: as text, never as a formula.
// One that starts with "=", "+", "-", "@", a tab or a carriage return gets an apostrophe in
// front ("=1+2" becomes "'=1+2"); any other is kept as it is.
QString spreadsheetText(const QString& text);

// Writes `bytes` to `path` through a temporary file that replaces the target only when all of
// it was written: a failed save never leaves half a file. On failure returns false and puts the
// reason into *error.
bool saveFile(const QString& path, const QByteArray& bytes, QString* error);
// The same with the bytes given by `write` as it goes.
bool saveFile(const QString& path, const std::function<bool(QIODevice&)>& write, QString* error);

}  // namespace kovrin
