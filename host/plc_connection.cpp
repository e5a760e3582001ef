#include "plc_connection.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "fins_codec.h"

namespace fhost {

namespace {

int millisUntil(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return 0;
    return left.count() > 60000 ? 60000 : static_cast<int>(left.count());
}

// Waits for `events` on fd until the deadline: 1 ready, 0 timeout, -1 error. The hook
// runs every period meanwhile.
int waitFor(int fd, short events, Clock::time_point deadline, const WaitHook* hook) {
    for (;;) {
        pollfd p{fd, events, 0};
        int wait_ms = millisUntil(deadline);
        if (hook && hook->call && hook->period_ms > 0) wait_ms = std::min(wait_ms, hook->period_ms);
        int r = ::poll(&p, 1, wait_ms);
        if (r > 0) return 1;
        if (r < 0 && errno != EINTR) return r;
        if (Clock::now() >= deadline) return 0;
        if (r == 0 && hook && hook->call) hook->call();
    }
}

bool resolve(const Endpoint& endpoint, sockaddr_in* addr, std::string* error) {
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int rc = ::getaddrinfo(endpoint.host.c_str(), nullptr, &hints, &found);
    if (rc != 0 || !found) {
        *error = "cannot resolve '" + endpoint.host + "': " + gai_strerror(rc);
        return false;
    }
    std::memcpy(addr, found->ai_addr, sizeof *addr);
    addr->sin_port = htons(endpoint.port);
    ::freeaddrinfo(found);
    return true;
}

} // namespace

const char* readStatusName(ReadStatus status) {
    switch (status) {
    case ReadStatus::Complete:
        return "complete";
    case ReadStatus::Timeout:
        return "timeout";
    case ReadStatus::Closed:
        return "connection closed";
    case ReadStatus::Malformed:
        return "malformed reply";
    case ReadStatus::NotFins:
        return "not FINS/TCP (remote framing?)";
    }
    return "?";
}

bool looksLikeFinsTcp(const QByteArray& bytes) {
    return fins::announcedFrameSize(bytes.constData(), bytes.size()) >= 0;
}

bool parseEndpoint(const std::string& text, Endpoint* out, std::string* error) {
    size_t colon = text.rfind(':');
    if (colon == std::string::npos && !text.empty()) { // a PLC's FINS/TCP port by default
        out->host = text;
        out->port = FINS_TCP_PORT;
        return true;
    }
    if (colon == std::string::npos || colon == 0 || colon + 1 == text.size()) {
        *error = "expected HOST[:PORT], got '" + text + "'";
        return false;
    }
    std::string port = text.substr(colon + 1);
    if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(port) < 1 || std::stoi(port) > 65535) {
        *error = "port in '" + text + "' must be 1-65535";
        return false;
    }
    out->host = text.substr(0, colon);
    out->port = static_cast<uint16_t>(std::stoi(port));
    return true;
}

bool PlcConnection::open(Clock::time_point deadline, std::string* error) {
    close();
    sockaddr_in addr;
    if (!resolve(endpoint_, &addr, error)) return false;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    if (rc < 0 && errno == EINPROGRESS) {
        if (waitFor(fd, POLLOUT, deadline, hook_) <= 0) {
            ::close(fd);
            *error = "no answer to connect within the timeout";
            return false;
        }
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        rc = err ? -1 : 0;
        errno = err;
    }
    if (rc < 0) {
        *error = errno == ECONNREFUSED ? std::string("connection refused")
                                       : std::string("connect: ") + std::strerror(errno);
        ::close(fd);
        return false;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in local;
    socklen_t len = sizeof local;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len);
    local_ip_ = ntohl(local.sin_addr.s_addr);
    local_port_ = ntohs(local.sin_port);
    peer_ip_ = ntohl(addr.sin_addr.s_addr);
    fd_ = fd;
    return true;
}

void PlcConnection::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

int PlcConnection::discardStale() {
    QByteArray stale;
    appendWaiting(&stale);
    return stale.size();
}

void PlcConnection::appendWaiting(QByteArray* out) {
    char buf[4096];
    while (fd_ >= 0) {
        ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
        if (n <= 0 || out->size() + n > MAX_REPLY_SIZE) return;
        out->append(buf, static_cast<int>(n));
    }
}

bool PlcConnection::sendAll(const QByteArray& bytes, Clock::time_point deadline,
                            std::string* error) {
    int sent = 0;
    while (sent < bytes.size()) {
        ssize_t n =
            ::send(fd_, bytes.constData() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<int>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            if (waitFor(fd_, POLLOUT, deadline, hook_) > 0) continue;
            *error = "send timed out";
            return false;
        }
        *error = std::string("send: ") + std::strerror(errno);
        return false;
    }
    return true;
}

ReadStatus PlcConnection::readExactly(int size, Clock::time_point deadline, QByteArray* out) {
    while (out->size() < size) {
        char buf[4096];
        int want = size - out->size();
        ssize_t n =
            ::recv(fd_, buf, want < static_cast<int>(sizeof buf) ? want : sizeof buf, MSG_DONTWAIT);
        if (n > 0) {
            out->append(buf, static_cast<int>(n));
            continue;
        }
        if (n == 0) return ReadStatus::Closed;
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return ReadStatus::Closed;
        int ready = waitFor(fd_, POLLIN, deadline, hook_);
        if (ready == 0) return ReadStatus::Timeout;
        if (ready < 0) return ReadStatus::Closed;
    }
    return ReadStatus::Complete;
}

ReadStatus PlcConnection::readFinsReply(Clock::time_point deadline, QByteArray* out) {
    out->clear();
    ReadStatus s = readExactly(fins::TCP_LENGTH_COVERS, deadline, out);
    if (s != ReadStatus::Complete) return s;
    const long long size = fins::announcedFrameSize(out->constData(), out->size());
    if (size < 0) return ReadStatus::NotFins;
    if (size < fins::TCP_HEADER_SIZE || size > MAX_REPLY_SIZE) return ReadStatus::Malformed;
    return readExactly(static_cast<int>(size), deadline, out);
}

ReadStatus PlcConnection::readFixedReply(int size, Clock::time_point deadline, QByteArray* out) {
    out->clear();
    if (size <= 0 || size > MAX_REPLY_SIZE) return ReadStatus::Malformed;
    return readExactly(size, deadline, out);
}

} // namespace fhost
