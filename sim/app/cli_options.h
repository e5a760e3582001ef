// Command-line options of fins-plcsim.
#ifndef PLCSIM_CLI_OPTIONS_H
#define PLCSIM_CLI_OPTIONS_H

#include <QStringList>
#include <string>
#include <vector>

#include "plcsim/memory_script.h"
#include "plcsim/sim_server.h"

namespace plcsim {

struct CliOptions {
    SimConfig config;
    std::string portFile;
    std::vector<std::string> memoryFiles;
    std::vector<MemoryAssignment> sets;
    bool statusLines = false; // a status line a second on stderr
    std::string statusFile;   // the status as JSON, rewritten each second
};

enum class CliAction { Run, Help, Version, Error };

struct CliResult {
    CliAction action = CliAction::Run;
    std::string text; // the help text, the version line, or the error (one line)
};

// arguments[0] is the program name, as in argv.
CliResult parseCommandLine(const QStringList& arguments, CliOptions* options);

} // namespace plcsim

#endif
