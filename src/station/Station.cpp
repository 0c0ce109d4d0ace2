#include "station/Station.h"

#include "db/AgentKey.h"
#include "db/StationPortStore.h"

namespace kovrin {

namespace {
const QString kScreen = QStringLiteral("frmStation");
}  // namespace

Station::Station(const StationServices& services, QObject* parent)
    : QObject(parent), m_services(services) {
    for (int port = 1; port <= kPorts; ++port) {
        m_rows << new StationRow(port, services, this);
        m_inUse.insert(port, true);
    }
}

Station::~Station() {
    stopAll(QStringLiteral("the Transfer Station was closed"));
}

DbStatus Station::loadPorts() {
    DbStatus st;
    const QMap<int, bool> ports = StationPortStore(m_services.db).load(&st);
    if (st) {
        m_inUse = ports;
    }
    return st;
}

DbStatus Station::setInUse(int port, bool inUse) {
    if (m_inUse.value(port) == inUse) {
        return {};
    }
    const DbStatus st = StationPortStore(m_services.db).save(port, inUse);
    if (!st) {
        return st;
    }
    m_inUse[port] = inUse;
    m_services.operatorLog.audit(kScreen, QStringLiteral("station ports changed: port %1 %2")
                                              .arg(port)
                                              .arg(inUse ? QStringLiteral("taken into use")
                                                         : QStringLiteral("taken out of use")));
    return {};
}

int Station::portServing(const QString& agent, int exceptPort) const {
    const QString key = agentKey(agent);
    for (const StationRow* r : m_rows) {
        if (r->port() != exceptPort && r->isBusy() && agentKey(r->entries().agent) == key) {
            return r->port();
        }
    }
    return 0;
}

bool Station::start(int port, const StationEntries& entries) {
    StationRow& r = row(port);
    if (!inUse(port) || r.isBusy()) {
        return false;
    }
    // One terminal per agent at a time: a second download would replace the accounts the
    // first one is sending, a second upload the collections the first one stored.
    if (const int other = portServing(entries.agent, port); other != 0) {
        r.refuse(QStringLiteral("Agent %1 is already being served on port %2: one terminal per "
                                "agent at a time.")
                     .arg(entries.agent.trimmed())
                     .arg(other));
        return false;
    }
    return r.start(entries);
}

QVector<int> Station::startAll(const QMap<int, StationEntries>& entries) {
    QVector<int> started;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it.value().agent.trimmed().isEmpty() || !inUse(it.key()) || row(it.key()).isBusy()) {
            continue;
        }
        if (start(it.key(), it.value())) {
            started << it.key();
        }
    }
    return started;
}

void Station::stopAll(const QString& why) {
    for (StationRow* r : m_rows) {
        r->stop(why);
    }
}

void Station::setTimings(const DownloadTimings& download, const UploadTimings& upload) {
    for (StationRow* r : m_rows) {
        r->setTimings(download, upload);
    }
}

}  // namespace kovrin
