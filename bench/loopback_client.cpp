#include "loopback_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

#include "fins_codec.h"

namespace bench {

namespace {

const int kMaxReply = 65536;

} // namespace

LoopbackClient::~LoopbackClient() {
    if (fd_ >= 0) ::close(fd_);
}

bool LoopbackClient::connectTo(uint16_t port, int timeout_ms) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) return false;
    timeval tv;
    tv.tv_sec = timeout_ms / 1000;
    tv.tv_usec = (timeout_ms % 1000) * 1000;
    const int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

bool LoopbackClient::send(const char* data, int size) {
    int done = 0;
    while (done < size) {
        const ssize_t n = ::send(fd_, data + done, static_cast<size_t>(size - done), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<int>(n);
    }
    return true;
}

bool LoopbackClient::receiveExactly(char* out, int size) {
    int done = 0;
    while (done < size) {
        const ssize_t n = ::recv(fd_, out + done, static_cast<size_t>(size - done), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false; // closed, or the time limit passed
        done += static_cast<int>(n);
    }
    return true;
}

bool LoopbackClient::receive(QByteArray* reply) {
    reply->resize(8);
    if (!receiveExactly(reply->data(), 8)) return false;
    const long long size = fins::announcedFrameSize(reply->constData(), reply->size());
    if (size < fins::TCP_LENGTH_COVERS || size > kMaxReply) return false;
    reply->resize(static_cast<int>(size));
    return receiveExactly(reply->data() + 8, static_cast<int>(size) - 8);
}

} // namespace bench
