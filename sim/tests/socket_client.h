// A blocking-free loopback test client: every wait is a poll with a deadline.
#ifndef PLCSIM_SOCKET_CLIENT_H
#define PLCSIM_SOCKET_CLIENT_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <vector>

namespace plcsim_test {

constexpr int IO_TIMEOUT_MS = 5000;

class TestClient {
  public:
    TestClient() = default;
    ~TestClient() { closeSocket(); }
    TestClient(const TestClient&) = delete;
    TestClient& operator=(const TestClient&) = delete;

    bool connectTo(uint16_t port) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        if (fd_ < 0) return false;
        const int one = 1;
        setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    }

    bool sendAll(const std::vector<uint8_t>& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<size_t>(n);
        }
        return true;
    }

    // Exactly n bytes, or false on timeout / end of stream.
    bool readExact(size_t n, std::vector<uint8_t>* out) {
        out->clear();
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(IO_TIMEOUT_MS);
        while (out->size() < n) {
            if (!waitReadable(deadline)) return false;
            uint8_t buf[4096];
            const size_t want = std::min(sizeof buf, n - out->size());
            const ssize_t got = recv(fd_, buf, want, 0);
            if (got <= 0) return false;
            out->insert(out->end(), buf, buf + got);
        }
        return true;
    }

    // One FINS/TCP frame: the 8-byte head, then length more bytes.
    bool readFinsFrame(std::vector<uint8_t>* out) {
        std::vector<uint8_t> head, rest;
        if (!readExact(8, &head)) return false;
        const uint32_t length = (uint32_t(head[4]) << 24) | (uint32_t(head[5]) << 16) |
                                (uint32_t(head[6]) << 8) | head[7];
        if (length > 4096 || !readExact(length, &rest)) return false;
        *out = head;
        out->insert(out->end(), rest.begin(), rest.end());
        return true;
    }

    // True when the peer closes (after any bytes still in flight) before the deadline.
    bool waitClosed() {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(IO_TIMEOUT_MS);
        for (;;) {
            if (!waitReadable(deadline)) return false;
            uint8_t buf[256];
            const ssize_t got = recv(fd_, buf, sizeof buf, 0);
            if (got == 0) return true;
            if (got < 0) return errno == ECONNRESET;
        }
    }

    void closeSocket() {
        if (fd_ >= 0) close(fd_);
        fd_ = -1;
    }

  private:
    bool waitReadable(std::chrono::steady_clock::time_point deadline) {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0) return false;
            pollfd p{fd_, POLLIN, 0};
            const int r = poll(&p, 1, static_cast<int>(left));
            if (r > 0) return true;
            if (r < 0 && errno != EINTR) return false;
        }
    }

    int fd_ = -1;
};

} // namespace plcsim_test

#endif
