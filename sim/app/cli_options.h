// Command-line options of fins-plcsim.
#ifndef PLCSIM_CLI_OPTIONS_H
#define PLCSIM_CLI_OPTIONS_H

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
};

enum class CliAction { Run, Help, Error };

CliAction parseCommandLine(int argc, const char* const* argv, CliOptions* options,
                           std::string* error);
std::string usageText();

} // namespace plcsim

#endif
