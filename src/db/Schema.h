#pragma once

#include <QStringList>

namespace kovrin::schema {

// Version of the schema this program creates; kept in PRAGMA user_version.
// 1: the four tables and the report views; 2: report views that refuse amounts and dates
// they cannot read; 3: table UploadInfo; 4: Report1's closing amount is the account's
// balance after each collection, Report1 gives the stored texts of a row and its branch, and
// Report2 adds up the collections that can be read; 5: the collection ledger (LedgerUpload,
// LedgerCollection, LedgerDay), seeded from RestoreData, which Report1 and Report2 read, and
// the view Register; 6: an agent's rows found by its identifier as it compares (db/AgentKey.h),
// through indexes on that expression, and the text encoding of each agent's download file
// (table DownloadInfo), in which the files of its uploads are written (UploadInfo.Encoding);
// 7: Report1 gives the day of each collection's upload (UploadDay) and whether the bank upload
// file took it (LedgerCollection.Posted); a collection at a time of day that is not real is
// unreadable; 8: table PortDevices, the device each serial port number is mapped to.
constexpr int kVersion = 8;
// The version that brought the ledger: a file of an older one has its ledger seeded.
constexpr int kLedgerVersion = 5;

// The statements that create every table (db/Tables.h), those a file has already left alone.
QStringList createTables();
// The statements of db/schema.sql, in order: the indexes and the report views, made again
// whole on a file of an older version (they are definitions, not data).
QStringList indexesAndViews();

}  // namespace kovrin::schema
