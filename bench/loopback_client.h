// The host's side of one loopback TCP connection to the simulator: send a frame,
// receive one whole FINS/TCP reply. Every wait is bounded.
#ifndef BENCH_LOOPBACK_CLIENT_H
#define BENCH_LOOPBACK_CLIENT_H

#include <QByteArray>

#include <cstdint>

namespace bench {

class LoopbackClient {
  public:
    LoopbackClient() = default;
    ~LoopbackClient();
    LoopbackClient(const LoopbackClient&) = delete;
    LoopbackClient& operator=(const LoopbackClient&) = delete;

    // Connects to 127.0.0.1:port; every later send or receive gives up after timeout_ms.
    bool connectTo(uint16_t port, int timeout_ms);
    bool send(const char* data, int size);
    // One reply framed by its length field; false on timeout, close or a bad length.
    bool receive(QByteArray* reply);

  private:
    bool receiveExactly(char* out, int size);
    int fd_ = -1;
};

} // namespace bench

#endif
