// fins-plcsim: parses the command line, loads memory, serves until SIGINT/SIGTERM.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "cli_options.h"

namespace {

constexpr int EXIT_OK = 0;
constexpr int EXIT_STARTUP = 1;
constexpr int EXIT_USAGE = 2;

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

// Written to a temporary name and renamed, so readers never see half a file.
bool writeWhole(const std::string& path, const std::string& text, const char* what,
                std::string* error) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp);
        out << text;
        if (!out) {
            *error =
                std::string("cannot write ") + what + " '" + path + "': " + std::strerror(errno);
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        *error = std::string("cannot write ") + what + " '" + path + "': " + std::strerror(errno);
        return false;
    }
    return true;
}

// The status as JSON for scripts. After start, a file that cannot be written is reported
// once and the server keeps running.
bool writeStatusFile(const plcsim::CliOptions& options, const plcsim::SimStatus& status,
                     std::string* error) {
    return options.statusFile.empty() ||
           writeWhole(options.statusFile, plcsim::statusJson(status) + "\n", "status file", error);
}

void updateStatusFile(const plcsim::CliOptions& options, const plcsim::SimStatus& status) {
    static bool failed = false;
    std::string error;
    if (!failed && !writeStatusFile(options, status, &error)) {
        failed = true;
        std::cerr << "fins-plcsim: " << error << "\n";
    }
}

// Usage errors end with where to look, on the same line.
int usageError(const std::string& text) {
    std::cerr << "fins-plcsim: " << text << " (see --help)\n";
    return EXIT_USAGE;
}

int startupError(const std::string& text) {
    std::cerr << "fins-plcsim: " << text << "\n";
    return EXIT_STARTUP;
}

QStringList argumentList(int argc, char** argv) {
    QStringList list;
    for (int i = 0; i < argc; ++i)
        list << QString::fromLocal8Bit(argv[i]);
    return list;
}

// Every memory file in order; every bad line of every file is reported.
bool loadMemoryFiles(const std::vector<std::string>& files, plcsim::PlcMemory& memory) {
    std::vector<std::string> errors;
    for (const std::string& file : files)
        plcsim::loadMemoryFile(file, memory, &errors);
    for (const std::string& e : errors)
        std::cerr << "fins-plcsim: " << e << "\n";
    return errors.empty();
}

} // namespace

int main(int argc, char** argv) {
    plcsim::CliOptions options;
    const plcsim::CliResult parsed = plcsim::parseCommandLine(argumentList(argc, argv), &options);
    switch (parsed.action) {
    case plcsim::CliAction::Help:
    case plcsim::CliAction::Version:
        std::cout << parsed.text;
        return EXIT_OK;
    case plcsim::CliAction::Error:
        return usageError(parsed.text);
    case plcsim::CliAction::Run:
        break;
    }
    if (options.statusLines || !options.statusFile.empty())
        options.config.statusSink = [&options](const plcsim::SimStatus& status) {
            if (options.statusLines) std::cerr << plcsim::statusLine(status) + "\n" << std::flush;
            updateStatusFile(options, status);
        };
    plcsim::SimServer server(options.config);
    if (!loadMemoryFiles(options.memoryFiles, server.memory())) return EXIT_STARTUP;
    for (const auto& a : options.sets)
        plcsim::applyAssignment(server.memory(), a);
    std::string error;
    if (!server.start(&error)) return startupError(error);
    // Before the port file: a script may stop the server as soon as it sees the port.
    g_server = &server;
    installSignalHandlers();
    // Before the port file too: a script that has read the port finds a status file.
    if (!writeStatusFile(options, server.status(), &error)) return startupError(error);
    if (!options.portFile.empty() &&
        !writeWhole(options.portFile, std::to_string(server.port()) + "\n", "port file", &error))
        return startupError(error);
    // One write, so a reader of stderr never sees half of the line.
    const std::string ready = "fins-plcsim: listening on " + server.address() + ":" +
                              std::to_string(server.port()) +
                              (options.config.remote ? " (remote mode)" : "") + ", node " +
                              std::to_string(options.config.node) + "\n";
    std::cerr << ready << std::flush;
    server.run();
    g_server = nullptr;
    server.stop();
    updateStatusFile(options, server.status());
    std::cerr << "fins-plcsim: stopped\n";
    return EXIT_OK;
}
