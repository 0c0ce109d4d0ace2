#pragma once

#include "db/Database.h"

#include <QMap>

namespace kovrin {

// The serial ports the Transfer Station uses (table StationPorts), a setting kept with the
// others: each port 1 to 10 is in use unless the operator has taken it out.
class StationPortStore {
public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 10;

    explicit StationPortStore(Database& db) : m_db(db) {}

    // Port number -> in use, for every port 1 to 10 (true for a port never set).
    QMap<int, bool> load(DbStatus* status = nullptr);
    // Sets one port in use or not, in one transaction.
    DbStatus save(int port, bool inUse);

private:
    Database& m_db;
};

}  // namespace kovrin
