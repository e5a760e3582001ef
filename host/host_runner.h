// fins-host from the command line to the exit code.
#ifndef FINS_HOST_RUNNER_H
#define FINS_HOST_RUNNER_H

namespace fhost {

enum ExitCode {
    EXIT_OK = 0,
    EXIT_INTERNAL = 1,
    EXIT_BAD_OPTIONS = 2,
    EXIT_BAD_TAG_FILE = 3,
    EXIT_DRIVER_UNUSABLE = 4,
    EXIT_CONNECTION_LOST = 5
};

// Asks a running host to finish its loop and report (safe from a signal handler).
void requestStop();

int runHost(int argc, const char* const* argv);

} // namespace fhost

#endif
