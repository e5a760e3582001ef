// fins-plcsim: parses the command line, loads memory, serves until SIGINT/SIGTERM.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "cli_options.h"

namespace {

plcsim::SimServer* g_server = nullptr;

void onStopSignal(int) {
    if (g_server) g_server->requestStop();
}

void installSignalHandlers() {
    struct sigaction sa {};
    sa.sa_handler = onStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

// Written to a temporary name and renamed, so readers never see half a number.
bool writePortFile(const std::string& path, uint16_t port, std::string* error) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp);
        out << port << "\n";
        if (!out) {
            *error = "cannot write port file '" + path + "'";
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        *error = "cannot write port file '" + path + "'";
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    plcsim::CliOptions options;
    std::string error;
    switch (plcsim::parseCommandLine(argc, argv, &options, &error)) {
    case plcsim::CliAction::Help:
        std::cout << plcsim::usageText();
        return 0;
    case plcsim::CliAction::Error:
        std::cerr << "fins-plcsim: " << error << "\nTry 'fins-plcsim --help'.\n";
        return 2;
    case plcsim::CliAction::Run:
        break;
    }
    plcsim::SimServer server(options.config);
    for (const std::string& file : options.memoryFiles) {
        if (!plcsim::loadMemoryFile(file, server.memory(), &error)) {
            std::cerr << "fins-plcsim: " << error << "\n";
            return 1;
        }
    }
    for (const auto& a : options.sets)
        plcsim::applyAssignment(server.memory(), a);
    if (!server.start(&error)) {
        std::cerr << "fins-plcsim: " << error << "\n";
        return 1;
    }
    if (!options.portFile.empty() && !writePortFile(options.portFile, server.port(), &error)) {
        std::cerr << "fins-plcsim: " << error << "\n";
        return 1;
    }
    g_server = &server;
    installSignalHandlers();
    // One write, so a reader of stderr never sees half of the line.
    const std::string ready = "fins-plcsim: listening on " + options.config.bind + ":" +
                              std::to_string(server.port()) +
                              (options.config.remote ? " (remote mode)" : "") + ", node " +
                              std::to_string(options.config.node) + "\n";
    std::cerr << ready << std::flush;
    server.run();
    g_server = nullptr;
    server.stop();
    std::cerr << "fins-plcsim: stopped\n";
    return 0;
}
