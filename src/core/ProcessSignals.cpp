#include "core/ProcessSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kovrin {

void ignoreFileSizeSignal() {
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

#ifdef Q_OS_UNIX
namespace {

// The signal handler only writes the signal's number to this socket; the event loop reads it.
int g_signalSocket[2] = {-1, -1};
std::function<void(const QString&)>& endFunction() {
    static std::function<void(const QString&)> end;
    return end;
}

void onSignal(int signal) {
    const char number = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(g_signalSocket[0], &number, 1);
}

}  // namespace

void endOnTermination(std::function<void(const QString& signal)> end) {
    endFunction() = std::move(end);
    if (g_signalSocket[0] >= 0 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalSocket) != 0) {
        return;
    }
    auto* notifier =
        new QSocketNotifier(g_signalSocket[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char number = 0;
        if (::read(g_signalSocket[1], &number, 1) == 1 && endFunction()) {
            endFunction()(number == SIGHUP ? QStringLiteral("SIGHUP") : QStringLiteral("SIGTERM"));
        }
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}
#else
void endOnTermination(std::function<void(const QString& signal)>) {}
#endif

}  // namespace kovrin
