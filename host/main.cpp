// fins-host: a stand-in for the HMI runtime that loads the FINS/TCP driver.
#include <malloc.h>

#include <csignal>
#include <cstdio>
#include <exception>

#include "host_runner.h"

namespace {

void onSignal(int) {
    fhost::requestStop();
}

void onHangUp(int) {
    fhost::requestReload();
}

} // namespace

int main(int argc, char** argv) {
    // The panel's dozen server threads would each get a malloc arena of their own, which
    // keeps the peak of the state documents it served: two arenas keep a long run's size.
    mallopt(M_ARENA_MAX, 2);
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sa.sa_handler = onHangUp;
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    try {
        return fhost::runHost(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fins-host: internal error: %s\n", e.what());
        return fhost::EXIT_INTERNAL;
    }
}
