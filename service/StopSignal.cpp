#include "StopSignal.h"

#include <cerrno>
#include <csignal>
#include <sys/signalfd.h>
#include <system_error>

namespace korvel::service {

StopSignal::StopSignal() {
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    if (::pthread_sigmask(SIG_BLOCK, &stops, nullptr) != 0) {
        throw std::system_error(EINVAL, std::generic_category(), "signal mask");
    }
    signals_ = UniqueFd(::signalfd(-1, &stops, SFD_CLOEXEC));
    if (!signals_) {
        throw std::system_error(errno, std::generic_category(), "signalfd");
    }
}

} // namespace korvel::service
