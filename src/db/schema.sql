-- The database's indexes and saved report queries. The tables themselves are made from the
-- column lists of db/Tables.h. Statements end with a semicolon at the end of a line.

-- An agent's rows are found by its identifier as it compares (db/AgentKey.h: AGENT_KEY(column)
-- is that expression), whatever blanks or leading zeros the file or the terminal gave it.
DROP INDEX IF EXISTS BankDataAgent;
DROP INDEX IF EXISTS RestoreDataAgent;
CREATE INDEX IF NOT EXISTS BankDataAgentKey ON BankData (AGENT_KEY(AgentID));
CREATE INDEX IF NOT EXISTS RestoreDataAgentKey ON RestoreData (AGENT_KEY(AgentID));
CREATE UNIQUE INDEX IF NOT EXISTS UploadInfoAgent ON UploadInfo (AgentID);
CREATE INDEX IF NOT EXISTS DownloadInfoAgentKey ON DownloadInfo (AGENT_KEY(AgentID));

-- The ledger. An upload is found by its agent and day (a later one supersedes it); its
-- collections by their upload. The daily collection report reads the collections that count
-- in the order it shows them: by date, agent and account (each as a number first, then as
-- text), transaction number and amount, so that no sort is needed. A filter by agent or
-- account compares the number without its leading zeros. The collections that cannot be read
-- are few and have an index of their own.
DROP INDEX IF EXISTS LedgerUploadAgentDay;
CREATE INDEX IF NOT EXISTS LedgerUploadAgentKeyDay ON LedgerUpload (AGENT_KEY(AgentID), Day);
CREATE INDEX IF NOT EXISTS LedgerUploadDay ON LedgerUpload (Day);
DROP INDEX IF EXISTS LedgerCollectionUpload;
CREATE INDEX IF NOT EXISTS LedgerCollectionUploadNumber ON LedgerCollection (UploadID, TransactionNumber);
CREATE INDEX IF NOT EXISTS LedgerCollectionReport ON LedgerCollection (Date, CAST(AgentID AS INTEGER), AgentID, CAST(AccountNo AS INTEGER), AccountNo, TransactionNumber, Amount) WHERE Superseded = 0 AND Unreadable = 0;
CREATE INDEX IF NOT EXISTS LedgerCollectionAgent ON LedgerCollection (ltrim(AgentID, '0'), Date);
CREATE INDEX IF NOT EXISTS LedgerCollectionAccount ON LedgerCollection (ltrim(AccountNo, '0'), Date);
CREATE INDEX IF NOT EXISTS LedgerCollectionUnreadable ON LedgerCollection (Date) WHERE Unreadable = 1;
CREATE INDEX IF NOT EXISTS LedgerDayDate ON LedgerDay (Date, AgentID);
CREATE INDEX IF NOT EXISTS LedgerDayUpload ON LedgerDay (UploadID);


-- The collections stored before the ledger knew what the bank upload file took (Posted NULL):
-- a date and time that is not a real time of day (25:00) makes a collection unreadable, as a
-- date that is not a real day does, so it leaves its day's total; then a collection is posted
-- when its account was in the download, it can be read and it is the first of its upload with
-- its transaction number (the rule of the bank upload file).
UPDATE LedgerDay SET
  Collections = Collections - (SELECT count(*) FROM LedgerCollection c WHERE c.UploadID = LedgerDay.UploadID AND c.AgentID = LedgerDay.AgentID AND c.BranchID = LedgerDay.BranchID AND c.Date = LedgerDay.Date AND c.Posted IS NULL AND c.Unreadable = 0 AND NOT (c.Time GLOB '[0-2][0-9]:[0-5][0-9]' AND c.Time < '24:00')),
  Total = Total - (SELECT coalesce(sum(Amount), 0) FROM LedgerCollection c WHERE c.UploadID = LedgerDay.UploadID AND c.AgentID = LedgerDay.AgentID AND c.BranchID = LedgerDay.BranchID AND c.Date = LedgerDay.Date AND c.Posted IS NULL AND c.Unreadable = 0 AND NOT (c.Time GLOB '[0-2][0-9]:[0-5][0-9]' AND c.Time < '24:00'))
WHERE UploadID IN (SELECT UploadID FROM LedgerCollection WHERE Posted IS NULL AND Unreadable = 0 AND NOT (Time GLOB '[0-2][0-9]:[0-5][0-9]' AND Time < '24:00'));
DELETE FROM LedgerDay WHERE Collections = 0;
UPDATE LedgerCollection SET Unreadable = 1,
  StoredAmount = printf('%010.2f', Amount / 100.0),
  StoredDateTime = substr(Date, 9, 2) || '/' || substr(Date, 6, 2) || '/' || substr(Date, 1, 4) || ' ' || Time
WHERE Posted IS NULL AND Unreadable = 0 AND NOT (Time GLOB '[0-2][0-9]:[0-5][0-9]' AND Time < '24:00');
UPDATE LedgerCollection SET Posted = CASE WHEN Unreadable = 0 AND InDownload = 1 AND NOT EXISTS (SELECT 1 FROM LedgerCollection e WHERE e.UploadID = LedgerCollection.UploadID AND e.TransactionNumber = LedgerCollection.TransactionNumber AND e.Unreadable = 0 AND e.InDownload = 1 AND e.rowid < LedgerCollection.rowid) THEN 1 ELSE 0 END
WHERE Posted IS NULL;

-- Report1: one row per collection of the ledger that counts (of an upload not superseded by a
-- later one of the same agent and day).
--   AgentID, AccountNo, BranchID: without the blanks that pad them.
--   CollectedAmt: the amount collected, a number.
--   ClosingAmt: the account's balance after this collection: the balance of the agent's
--   download plus the account's collections of the same upload up to and including this one,
--   in transaction-number order. An account is the agent, account number, scheme and category
--   the upload matched it by. Worked out in hundredths when the upload is stored, so it is
--   exact. NULL when the balance is missing (an account that was not in the download) or
--   cannot be read, and from an account's first collection whose amount cannot be read on.
--   Date: the collection's day as an ISO date (YYYY-MM-DD), which sorts and compares as a date.
--   TransactionNumber: the terminal's transaction number as a number.
--   Amtcollected, DateTime: the texts as the upload stored them for a collection whose amount
--   or date cannot be read (CollectedAmt or Date NULL), so that it can be listed as it is;
--   made again from the values for the others.
--   CollectedPaise, ClosingPaise: the same amounts in hundredths; Unreadable: 1 for a
--   collection whose amount or date cannot be read.
--   Posted: 1 for a collection the bank upload file took, 0 for one kept out of it (its
--   account not in the download, a transaction number posted already, or unreadable).
--   UploadDay: the day its upload's key names (LedgerUpload.Day): the day a collection without
--   a readable date belongs to.
--   CollectionID: the collection's row in the ledger; after the columns of the report's order it
--   tells apart collections that are otherwise alike, so that the report can be read a page at a
--   time from where the page before ended.
DROP VIEW IF EXISTS Report2;
DROP VIEW IF EXISTS Report1;
DROP VIEW IF EXISTS Register;
CREATE VIEW Report1 AS
SELECT AgentID, AccountNo, BranchID, Closing / 100.0 AS ClosingAmt, Amount / 100.0 AS CollectedAmt,
       Date, TransactionNumber,
       coalesce(StoredAmount, printf('%010.2f', Amount / 100.0)) AS Amtcollected,
       coalesce(StoredDateTime, substr(Date, 9, 2) || '/' || substr(Date, 6, 2) || '/' || substr(Date, 1, 4) || ' ' || Time) AS DateTime,
       Amount AS CollectedPaise, Closing AS ClosingPaise, Unreadable, UploadID, InDownload, Time,
       Posted,
       (SELECT Day FROM LedgerUpload u WHERE u.UploadID = LedgerCollection.UploadID) AS UploadDay,
       LedgerCollection.rowid AS CollectionID
FROM LedgerCollection
WHERE Superseded = 0;

-- Report2: one row per agent and date with the sum of that day's collections whose amount and
-- date can be read, from the ledger's day totals, in hundredths so that the sum is exact. The
-- others cannot be put in a day's total; they are the rows of Report1 with Unreadable 1.
CREATE VIEW Report2 AS
SELECT AgentID, sum(Total) / 100.0 AS CollectedAmt, Date, sum(Total) AS CollectedPaise,
       sum(Collections) AS Collections
FROM LedgerDay
WHERE Superseded = 0
GROUP BY AgentID, Date;

-- Register: every stored upload, superseded ones included, with the terminal's totals beside
-- the stored ones. Difference: stored total less the terminal's, NULL when the terminal's
-- totals could not be read. Counted: 0 for an upload superseded by a later one.
CREATE VIEW Register AS
SELECT UploadID, AgentID, AgentDateKey, Day, ReceivedAt, TerminalCount, TerminalTotal,
       StoredCount, StoredTotal, StoredTotal - TerminalTotal AS Difference,
       StoredCount - TerminalCount AS CountDifference, Outcome,
       SupersededBy IS NULL AS Counted, SupersededBy, BackupFile, UploadFile, CheckFile
FROM LedgerUpload;
