// The browser panel of fins-host: the embedded page, GET /api/state, the event stream
// GET /api/events and the requests POST /api/write and POST /api/read-once, served on
// threads of its own. It meets the loop only through the HostBridge.
#ifndef FINS_HOST_PANEL_SERVER_H
#define FINS_HOST_PANEL_SERVER_H

#include <memory>
#include <string>
#include <vector>

#include "host_bridge.h"
#include "tag_file.h"

namespace fhost {

struct PanelOptions {
    std::string address = "127.0.0.1"; // --http ADDR:PORT (port 0: any free port)
    int port = 0;
    bool allow_remote = false; // --http-allow-remote: any address, token required
    std::string token;         // --http-token; empty: none on loopback, generated otherwise
};

// "ADDR:PORT" of --http; "localhost" stands for 127.0.0.1.
bool parsePanelAddress(const std::string& text, PanelOptions* out, std::string* error);

class PanelServer {
  public:
    explicit PanelServer(HostBridge& bridge); // requests name the tags the bridge holds
    ~PanelServer();
    PanelServer(const PanelServer&) = delete;
    PanelServer& operator=(const PanelServer&) = delete;

    // Checks the options, binds and starts serving; false with the reason.
    bool start(const PanelOptions& options, std::string* error);
    // Ends the event streams and the server threads.
    void stop();

    int port() const;
    const std::string& token() const; // the token in force (generated or given)
    std::string url() const;          // what to open: http://ADDR:PORT/[?token=...]

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace fhost

#endif
