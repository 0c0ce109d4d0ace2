#pragma once

#include "db/Database.h"
#include "station/StationRow.h"

#include <QMap>
#include <QObject>
#include <QVector>

namespace kovrin {

// The Transfer Station: one row per serial port 1 to 10, each driving one terminal on its own
// port with its own transfer, all at once on the program's one thread. The ports it uses are
// a setting kept in the database (StationPortStore); a row of a port not in use starts
// nothing.
//
// The rows share the one database connection. A row's store (the accounts of a download
// before its header goes out, an upload's collections once its last record is in) is one
// transaction run to its commit within one step of that row; the rows' steps run one at a
// time, so two rows that finish together store one after the other, and the second waits
// only for the first one's commit, never for its transfer.
class Station : public QObject {
    Q_OBJECT
public:
    static constexpr int kPorts = 10;

    explicit Station(const StationServices& services, QObject* parent = nullptr);
    ~Station() override;

    // The row of port 1 to 10.
    StationRow& row(int port) { return *m_rows[port - 1]; }
    const QVector<StationRow*>& rows() const { return m_rows; }

    // Reads which ports are in use; false (with the reason) when the table cannot be read.
    DbStatus loadPorts();
    bool inUse(int port) const { return m_inUse.value(port, false); }
    // Takes a port into use or out of it, saved at once and written to the audit trail.
    DbStatus setInUse(int port, bool inUse);

    // Starts the row of `port`; false when it did not start (the reason is in the row).
    bool start(int port, const StationEntries& entries);
    // "Start All": every row of a port in use whose agent is filled and that is not busy,
    // each at once on its own port. Returns the ports started.
    QVector<int> startAll(const QMap<int, StationEntries>& entries);
    void stopAll(const QString& why = QStringLiteral("Stop All on the Transfer Station"));

    // Time-outs shorter than the program's, for every row (tests).
    void setTimings(const DownloadTimings& download, const UploadTimings& upload);

    // The port whose busy row serves the same agent (by number), 0 when none.
    int portServing(const QString& agent, int exceptPort) const;

private:
    StationServices m_services;
    QVector<StationRow*> m_rows;
    QMap<int, bool> m_inUse;
};

}  // namespace kovrin
