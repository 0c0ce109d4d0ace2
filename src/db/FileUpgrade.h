#pragma once

#include "db/Database.h"

#include <QStringList>

namespace kovrin {

// Brings a file of version `version` up to this program's: runs `statements` (the tables,
// columns, indexes and views it lacks) and, for a file from before the ledger, enters each
// agent's uploaded rows into the ledger, all in one transaction, telling `progress` how far it
// has come. On a failure nothing of it stays in the file.
DbStatus upgradeFile(Database& db, int version, const QStringList& statements,
                     const UpgradeReport& progress);

}  // namespace kovrin
