#include "loopback_host.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "omron_fins_tcpip.h"

namespace {

enum { HEADER = 16, MAX_REPLY = 4096 };

unsigned lengthField(const QByteArray& header) {
    unsigned v = 0;
    for (int i = 4; i < 8; ++i)
        v = (v << 8) | static_cast<unsigned char>(header[i]);
    return v;
}

} // namespace

const char* transportName(Transport t) {
    switch (t) {
    case Transport::None:
        return "none";
    case Transport::Ok:
        return "ok";
    case Transport::Timeout:
        return "timeout";
    case Transport::Closed:
        return "closed";
    case Transport::Refused:
        return "refused";
    case Transport::BadLength:
        return "bad length";
    }
    return "?";
}

bool LoopbackHost::connectToPlc() {
    if (fd_ >= 0) return true;
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port_);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        disconnect();
        return false;
    }
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ++connects_;
    return true;
}

void LoopbackHost::disconnect() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

Transport LoopbackHost::readExactly(QByteArray& reply, int n) {
    while (n > 0) {
        pollfd p = {fd_, POLLIN, 0};
        const int ready = ::poll(&p, 1, timeout_ms_);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return Transport::Timeout;
        char buf[MAX_REPLY];
        const ssize_t got = ::recv(fd_, buf, static_cast<size_t>(std::min<int>(n, MAX_REPLY)), 0);
        if (got <= 0) return Transport::Closed;
        reply.append(buf, static_cast<int>(got));
        n -= static_cast<int>(got);
    }
    return Transport::Ok;
}

Transport LoopbackHost::receive(QByteArray& reply) {
    const Transport header = readExactly(reply, HEADER);
    if (header != Transport::Ok) return header;
    const unsigned length = lengthField(reply);
    const bool usable = length >= 8 && length <= MAX_REPLY - 8;
    if (usable) {
        const Transport body = readExactly(reply, static_cast<int>(length) - 8);
        if (body != Transport::Ok) return body;
    }
    // Bytes that came with the reply belong to it: take them without waiting.
    char buf[MAX_REPLY];
    ssize_t got;
    while ((got = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT)) > 0)
        reply.append(buf, static_cast<int>(got));
    return usable ? Transport::Ok : Transport::BadLength;
}

Exchange LoopbackHost::turn() {
    Exchange ex;
    Protocol* p = ComCommunication();
    if (!p) return ex;
    ex.sent = true;
    ex.frame_size = p->send_len;
    if (!connectToPlc()) {
        ex.transport = Transport::Refused;
    } else if (::send(fd_, p->frame.constData(), static_cast<size_t>(p->send_len), MSG_NOSIGNAL) !=
               p->send_len) {
        ex.transport = Transport::Closed;
    } else {
        ex.transport = receive(ex.reply);
    }
    if (ex.transport != Transport::Ok) disconnect();
    ex.result = DataCom(&ex.reply, ex.reply.size())->result;
    return ex;
}
