// One TCP connection from the host to a PLC (or the simulator): connect with a time
// limit, send a frame, and read one whole reply, framed by the FINS/TCP length field
// or, in remote mode, by the length the driver expects.
#ifndef FINS_HOST_PLC_CONNECTION_H
#define FINS_HOST_PLC_CONNECTION_H

#include <QByteArray>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace fhost {

typedef std::chrono::steady_clock Clock;

struct Endpoint {
    std::string host;
    uint16_t port = 0;
    std::string text() const { return host + ":" + std::to_string(port); }
};

// The FINS/TCP port of a PLC.
constexpr uint16_t FINS_TCP_PORT = 9600;

// "HOST:PORT" with a port of 1..65535, or "HOST" for port 9600.
bool parseEndpoint(const std::string& text, Endpoint* out, std::string* error);

// The largest reply the host takes; FINS replies stay far below it.
enum { MAX_REPLY_SIZE = 65536 };

enum class ReadStatus {
    Complete,  // one whole reply
    Timeout,   // the deadline passed; the bytes so far are in the output
    Closed,    // the peer closed the connection or it failed
    Malformed, // the length field is impossible; the bytes so far are in the output
    NotFins    // the reply does not start with "FINS"; the bytes so far are in the output
};

// True when the bytes start as a FINS/TCP frame does ("FINS" and a length field).
bool looksLikeFinsTcp(const QByteArray& bytes);

const char* readStatusName(ReadStatus status);

// Called at least every period_ms while a connection waits for the PLC, so that a
// screen keeps its refresh interval while a PLC is slow or gone.
struct WaitHook {
    std::function<void()> call;
    int period_ms = 0;
};

class PlcConnection {
  public:
    explicit PlcConnection(const Endpoint& endpoint) : endpoint_(endpoint) {}
    ~PlcConnection() { close(); }
    PlcConnection(const PlcConnection&) = delete;
    PlcConnection& operator=(const PlcConnection&) = delete;

    const Endpoint& endpoint() const { return endpoint_; }
    void setWaitHook(const WaitHook* hook) { hook_ = hook; }
    bool isOpen() const { return fd_ >= 0; }
    // Local address and port of the open socket, for the recording (0 when closed).
    uint32_t localIp() const { return local_ip_; }
    uint16_t localPort() const { return local_port_; }
    uint32_t peerIp() const { return peer_ip_; }

    bool open(Clock::time_point deadline, std::string* error);
    void close();

    // Throws away bytes that arrived after the last reply (they answer no request).
    int discardStale();
    bool sendAll(const QByteArray& bytes, Clock::time_point deadline, std::string* error);
    // FINS/TCP: the 8 bytes up to the length field, then as many as it announces.
    ReadStatus readFinsReply(Clock::time_point deadline, QByteArray* out);
    // Exactly `size` bytes (remote-mode replies carry no length of their own).
    ReadStatus readFixedReply(int size, Clock::time_point deadline, QByteArray* out);
    // Appends the bytes that are already waiting, without blocking.
    void appendWaiting(QByteArray* out);

  private:
    ReadStatus readExactly(int size, Clock::time_point deadline, QByteArray* out);

    Endpoint endpoint_;
    int fd_ = -1;
    uint32_t local_ip_ = 0;
    uint16_t local_port_ = 0;
    uint32_t peer_ip_ = 0;
    const WaitHook* hook_ = nullptr;
};

} // namespace fhost

#endif
