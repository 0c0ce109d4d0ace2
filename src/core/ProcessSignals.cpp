#include "core/ProcessSignals.h"

#include <csignal>

namespace kovrin {

void ignoreFileSizeSignal() {
#ifdef SIGXFSZ
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

}  // namespace kovrin
