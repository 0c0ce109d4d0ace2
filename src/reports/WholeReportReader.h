#pragma once

#include "reports/ReportData.h"

#include <QObject>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace kovrin {

// The agent collection report (Report2) or the upload register read whole off the program's
// thread, on a read-only connection of its own. Both hold one row per agent and day, or per
// upload, never one per collection, so what is read stays as small as the ledger's day totals
// whatever the range. Cancel stops the read between two rows; nothing read is given after it.
//
// Everything but the signal may be called from any thread; the signal comes from the reader's
// thread (connections to objects of other threads are queued).
class WholeReportReader : public QObject {
    Q_OBJECT
public:
    // `kind`: ReportKind::AgentCollection or ReportKind::UploadRegister.
    WholeReportReader(QString databasePath, ReportKind kind, ReportFilter filter);
    // Stops the reading and waits for the reader's thread to end.
    ~WholeReportReader() override;
    WholeReportReader(const WholeReportReader&) = delete;
    WholeReportReader& operator=(const WholeReportReader&) = delete;

    ReportKind kind() const { return m_kind; }

    // Starts the reader's thread (once).
    void start();
    // Stops the reading between two rows.
    void cancel();

    // Waits until the reading has ended (read, failed or cancelled); false when the time ran
    // out.
    bool wait(int timeoutMs);
    bool ended() const;
    bool cancelled() const;
    ReportStatus status() const;

    // What was read once the reading has ended without failing or being cancelled; none
    // before, and none of the other kind.
    std::shared_ptr<AgentCollectionData> agents() const;
    std::shared_ptr<RegisterData> uploads() const;

signals:
    // The reading has ended: read, failed or cancelled.
    void finished();

private:
    void run();
    bool usable() const;  // under m_mutex

    const QString m_path;
    const ReportKind m_kind;
    const ReportFilter m_filter;

    std::thread m_thread;
    std::atomic<bool> m_cancel{false};

    mutable std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_ended = false;
    ReportStatus m_status;
    std::shared_ptr<AgentCollectionData> m_agents;
    std::shared_ptr<RegisterData> m_uploads;
};

}  // namespace kovrin
