#include "reports/WholeReportReader.h"

#include <chrono>
#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace kovrin {

WholeReportReader::WholeReportReader(QString databasePath, ReportKind kind, ReportFilter filter)
    : m_path(std::move(databasePath)), m_kind(kind), m_filter(std::move(filter)) {}

WholeReportReader::~WholeReportReader() {
    cancel();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void WholeReportReader::start() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_thread.joinable()) {
        m_thread = std::thread([this] { run(); });
    }
}

void WholeReportReader::cancel() {
    m_cancel = true;
}

bool WholeReportReader::wait(int timeoutMs) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_done.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                           [this] { return m_ended; });
}

bool WholeReportReader::ended() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ended;
}

bool WholeReportReader::cancelled() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_status.code == ReportStatus::Code::Cancelled || (m_ended && m_cancel.load());
}

ReportStatus WholeReportReader::status() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_status;
}

bool WholeReportReader::usable() const {
    return m_ended && !m_cancel.load() && m_status.code == ReportStatus::Code::Ok;
}

std::shared_ptr<AgentCollectionData> WholeReportReader::agents() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return usable() ? m_agents : nullptr;
}

std::shared_ptr<RegisterData> WholeReportReader::uploads() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return usable() ? m_uploads : nullptr;
}

void WholeReportReader::run() {
#ifdef __linux__
    // Behind the program's thread when the processors are busy, as the daily report's reader.
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), 10);
#endif
    const ReportSource source(m_path);
    ReportStatus status;
    std::shared_ptr<AgentCollectionData> agents;
    std::shared_ptr<RegisterData> uploads;
    if (m_kind == ReportKind::UploadRegister) {
        uploads =
            std::make_shared<RegisterData>(source.uploadRegister(m_filter, &status, &m_cancel));
    } else {
        agents = std::make_shared<AgentCollectionData>(
            source.agentCollection(m_filter, &status, &m_cancel));
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_status = status;
        m_agents = std::move(agents);
        m_uploads = std::move(uploads);
        m_ended = true;
    }
    m_done.notify_all();
    emit finished();
}

}  // namespace kovrin
