// fins-host: a stand-in for the HMI runtime that loads the FINS/TCP driver.
#include <csignal>

#include "host_runner.h"

namespace {

void onSignal(int) {
    fhost::requestStop();
}

} // namespace

int main(int argc, char** argv) {
    struct sigaction sa = {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    return fhost::runHost(argc, argv);
}
