#include "db/PortDeviceStore.h"

#include "db/Sql.h"
#include "db/Tables.h"

namespace kovrin {

QMap<int, PortDeviceRow> PortDeviceStore::load(DbStatus* status) {
    QMap<int, PortDeviceRow> mapping;
    const tables::Table& t = tables::portDevices();
    SqlStatement q(m_db, t.name,
                   QStringLiteral("SELECT %1 FROM %2 ORDER BY Port").arg(t.selectList(), t.name));
    if (q.exec()) {
        while (q.next()) {
            const int port = q.value(0).toInt();
            PortDeviceRow row{q.value(1).toString(), q.value(2).toString(), q.value(3).toString(),
                              q.value(4).toString()};
            if (port >= kFirstPort && port <= kLastPort && !row.device.isEmpty()) {
                mapping.insert(port, row);
            }
        }
    }
    if (status) {
        *status = q.status();
    }
    return mapping;
}

DbStatus PortDeviceStore::save(const QMap<int, PortDeviceRow>& mapping) {
    const tables::Table& t = tables::portDevices();
    return m_db.inTransaction([&]() -> DbStatus {
        if (DbStatus s = execSql(m_db, t.name, QStringLiteral("DELETE FROM %1").arg(t.name), {});
            !s) {
            return s;
        }
        for (auto it = mapping.cbegin(); it != mapping.cend(); ++it) {
            if (it.key() < kFirstPort || it.key() > kLastPort || it.value().device.isEmpty()) {
                continue;
            }
            const PortDeviceRow& r = it.value();
            if (DbStatus s =
                    execSql(m_db, t.name, t.insertStatement(),
                            {it.key(), r.device, r.description, r.manufacturer, r.serialNumber});
                !s) {
                return s;
            }
        }
        return DbStatus{};
    });
}

}  // namespace kovrin
