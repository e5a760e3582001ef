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
    EXIT_CONNECTION_LOST = 5,
    EXIT_ACTION_FAILED = 6 // a write or one-shot read refused or given up
};

class HostBridge;

// Asks a running host to finish its loop and report (safe from a signal handler).
void requestStop();
// Asks a running host to reread its tag file (safe from a signal handler: SIGHUP).
void requestReload();

// Runs the program; the loop publishes its state to `bridge` and serves its requests
// (a bridge of its own when none is given).
int runHost(int argc, const char* const* argv, HostBridge* bridge = nullptr);

} // namespace fhost

#endif
