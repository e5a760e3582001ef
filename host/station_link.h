// A station's way to its PLC: the TCP connection, the node address exchange made on
// it (repeated on a new connection, since FINS/TCP takes one per connection), the
// reconnect backoff, the probe of a station that is down, and its pcap flow.
#ifndef FINS_HOST_STATION_LINK_H
#define FINS_HOST_STATION_LINK_H

#include <memory>
#include <string>

#include "host_options.h"
#include "pcap_writer.h"
#include "plc_connection.h"
#include "session_stats.h"

namespace fhost {

// A station as the screen shows it: its PLC, how it is doing and why.
struct StationStatus {
    int station = 0;
    std::string address; // HOST:PORT, empty when no --station gives one
    std::string state;   // "idle", "connecting", "online", "down"
    std::string reason;  // why it is down (or last went down); empty when never
    long connects = 0;
    long good = 0;        // good replies
    long failures = 0;    // exchanges the driver gave up
    double rtt_ms = -1;   // last round trip; -1 before the first reply
    int client_node = -1; // the node pair of the last accepted exchange; -1 before one
    int plc_node = -1;
    bool down() const { return state == "down"; }
};

// What every link of a session shares: the options, the recording and the counters.
struct LinkContext {
    const HostOptions& options;
    PcapFile& pcap;
    SessionStats& stats;
    int flows_opened = 0;
};

class StationLink {
  public:
    StationLink(int station, const Endpoint& endpoint, bool has_endpoint, LinkContext& context,
                const WaitHook* hook);
    ~StationLink() { close(); }

    int station() const { return status_.station; }
    const StationStatus& status() const { return status_; }
    bool isOpen() const { return conn_.isOpen(); }
    bool waitingOutBackoff() const { return !conn_.isOpen() && next_attempt_ > Clock::now(); }
    Clock::time_point nextAttempt() const { return next_attempt_; }

    // Sends a frame of the driver and reads its reply (opening the connection first, with
    // the node address replay); false with the reason when no reply came.
    bool exchange(const QByteArray& frame, bool node_exchange, int reply_len, QByteArray* reply,
                  std::string* error, bool* sent);
    // The driver's node address exchange needs a connection of its own, or the one a
    // probe left open with the same exchange made.
    void freshConnectionFor(const QByteArray& frame, bool node_exchange);
    void nodeExchangeAnswered(const QByteArray& request, const QByteArray& reply, bool accepted);

    // A station that is down: the host's own node address exchange on a connection of
    // its own, at the backoff's pace. True when the PLC answered it; the connection then
    // stays open for the driver, whose same exchange gets the PLC's answer to this one.
    bool probe(const QByteArray& request);

    void goodReply();
    void failed(const std::string& reason) { markDown(reason); }
    void gaveUp(const std::string& reason);
    void close();

  private:
    bool open(bool node_exchange, Clock::time_point deadline, std::string* error);
    bool replayNodeAddress(Clock::time_point deadline);
    bool sendAndReceive(const QByteArray& frame, int reply_len, Clock::time_point deadline,
                        QByteArray* reply, std::string* error);
    void backOff();
    void markDown(const std::string& reason);
    void record(bool from_client, const QByteArray& bytes);
    Clock::time_point deadline() const;

    LinkContext& ctx_;
    PlcConnection conn_;
    bool has_endpoint_;
    bool node_exchanged_ = false;
    QByteArray node_request_;
    QByteArray probe_request_, probe_reply_; // an accepted probe's, until the driver asks
    Clock::time_point next_attempt_;
    int backoff_ms_ = 0;
    std::unique_ptr<TcpFlow> flow_;
    StationStatus status_;
};

// "node address refused: FINS/TCP error 0x24 (...)", or the reply's size when too short.
std::string nodeRefusalText(const QByteArray& reply);

} // namespace fhost

#endif
