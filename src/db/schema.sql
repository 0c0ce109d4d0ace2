-- The database's indexes and saved report queries. The tables themselves are made from the
-- column lists of db/Tables.h. Statements end with a semicolon at the end of a line.

CREATE INDEX IF NOT EXISTS BankDataAgent ON BankData (AgentID);
CREATE INDEX IF NOT EXISTS RestoreDataAgent ON RestoreData (AgentID);
CREATE UNIQUE INDEX IF NOT EXISTS UploadInfoAgent ON UploadInfo (AgentID);

-- Report1: one row per collected transaction (a row of RestoreData with a collected amount).
--   AgentID, AccountNo, BranchID: without the blanks that pad them.
--   CollectedAmt: Amtcollected as a number.
--   ClosingAmt: the account's balance after this collection: the downloaded balance
--   (BalanceAmount) plus the account's collections up to and including this one, in
--   transaction-number order. An account is the agent, account number, scheme and category
--   the upload matched it by. The sums are made in hundredths, so they are exact.
--   Date: the collection's day from DateTime (DD/MM/20YY HH:NN) as an ISO date (YYYY-MM-DD),
--   which sorts and compares as a date.
--   TransactionNumber: the terminal's transaction number as a number ("0042" is 42, and 10000
--   comes after 9999), the order of an account's collections.
--   Amtcollected, DateTime: the texts as stored, so that a row that cannot be read can be
--   shown as it is.
-- A text that is not a well-formed amount or date gives NULL rather than a made-up number, so
-- the report side can list the row apart instead of counting it as nothing. An amount is well
-- formed when after its first character it holds digits with at most one decimal point and at
-- most two decimals, and is less than a hundred thousand million. ClosingAmt is NULL when the
-- balance is missing (an account the upload did not find among the downloaded ones) or cannot
-- be read, and from an account's first collection whose amount cannot be read on: from there
-- on the balance is not known.
DROP VIEW IF EXISTS Report2;
DROP VIEW IF EXISTS Report1;
CREATE VIEW Report1 AS
SELECT AgentID, AccountNo, BranchID,
       CASE WHEN Bal IS NOT NULL AND count(*) OVER account = count(Amt) OVER account
            THEN (Bal + sum(Amt) OVER account) / 100.0 END AS ClosingAmt,
       Amt / 100.0 AS CollectedAmt, Date, TransactionNumber, Amtcollected, DateTime
FROM (
    SELECT Seq, AgentID, AccountNo, BranchID, Scheme, Category, TransactionNumber,
           Amtcollected, DateTime,
           CASE WHEN a GLOB '[0-9]*' AND substr(a, 2) NOT GLOB '*[^0-9.]*' AND a NOT GLOB '*.*.*' AND a NOT GLOB '*.[0-9][0-9][0-9]*' AND abs(CAST(a AS REAL)) < 1e11
                THEN CAST(round(CAST(a AS REAL) * 100) AS INTEGER) END AS Amt,
           CASE WHEN (b GLOB '[0-9]*' OR b GLOB '-[0-9]*') AND substr(b, 2) NOT GLOB '*[^0-9.]*' AND b NOT GLOB '*.*.*' AND b NOT GLOB '*.[0-9][0-9][0-9]*' AND abs(CAST(b AS REAL)) < 1e11
                THEN CAST(round(CAST(b AS REAL) * 100) AS INTEGER) END AS Bal,
           CASE WHEN dt GLOB '[0-9][0-9]/[0-9][0-9]/[0-9][0-9][0-9][0-9]*'
                     AND date(iso, '+0 days') = iso THEN iso END AS Date
    FROM (
        SELECT rowid AS Seq, trim(coalesce(AgentID, '')) AS AgentID,
               trim(coalesce(AccountNo, '')) AS AccountNo,
               trim(coalesce(BranchID, '')) AS BranchID,
               trim(coalesce(SchemeCode, '')) AS Scheme,
               trim(coalesce(CategoryCode, '')) AS Category,
               CAST(trim(coalesce(TransactionNumber, '')) AS INTEGER) AS TransactionNumber,
               coalesce(Amtcollected, '') AS Amtcollected, coalesce(DateTime, '') AS DateTime,
               trim(coalesce(Amtcollected, '')) AS a,
               trim(coalesce(BalanceAmount, '')) AS b, trim(coalesce(DateTime, '')) AS dt,
               substr(trim(coalesce(DateTime, '')), 7, 4) || '-' ||
               substr(trim(coalesce(DateTime, '')), 4, 2) || '-' ||
               substr(trim(coalesce(DateTime, '')), 1, 2) AS iso
        FROM RestoreData)
    WHERE a <> '')
WINDOW account AS (PARTITION BY AgentID, AccountNo, Scheme, Category
                   ORDER BY TransactionNumber, Seq
                   ROWS BETWEEN UNBOUNDED PRECEDING AND CURRENT ROW);

-- Report2: one row per agent and date with the sum of that day's collections whose amount and
-- date can be read, added up in hundredths so that the sum is exact. The others cannot be put
-- in a day's total; they are the rows of Report1 with a NULL CollectedAmt or Date.
CREATE VIEW Report2 AS
SELECT AgentID, sum(CAST(round(CollectedAmt * 100) AS INTEGER)) / 100.0 AS CollectedAmt, Date
FROM Report1
WHERE CollectedAmt IS NOT NULL AND Date IS NOT NULL
GROUP BY AgentID, Date;
