#include "db/StationPortStore.h"

#include "db/Sql.h"
#include "db/Tables.h"

namespace kovrin {

QMap<int, bool> StationPortStore::load(DbStatus* status) {
    QMap<int, bool> ports;
    for (int p = kFirstPort; p <= kLastPort; ++p) {
        ports.insert(p, true);
    }
    const tables::Table& t = tables::stationPorts();
    SqlStatement q(m_db, t.name, QStringLiteral("SELECT Port, InUse FROM %1").arg(t.name));
    if (q.exec()) {
        while (q.next()) {
            const int port = q.value(0).toInt();
            if (ports.contains(port)) {
                ports[port] = q.value(1).toInt() != 0;
            }
        }
    }
    if (status) {
        *status = q.status();
    }
    return ports;
}

DbStatus StationPortStore::save(int port, bool inUse) {
    const tables::Table& t = tables::stationPorts();
    return m_db.inTransaction([&]() -> DbStatus {
        if (DbStatus s = execSql(
                m_db, t.name, QStringLiteral("DELETE FROM %1 WHERE Port = ?").arg(t.name), {port});
            !s) {
            return s;
        }
        return execSql(m_db, t.name, t.insertStatement(), {port, inUse ? 1 : 0});
    });
}

}  // namespace kovrin
