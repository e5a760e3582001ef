#include "plcsim/sim_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "plcsim/memory_script.h"
#include "plcsim/session.h"

namespace plcsim {

namespace {

using Clock = SimClock;

constexpr int LISTEN_BACKLOG = 16;
constexpr size_t READ_CHUNK = 65536;
constexpr auto STATUS_INTERVAL = std::chrono::seconds(1);
// Linux's smallest and largest TCP maximum segment size a socket may ask for.
constexpr int MIN_TCP_MSS = 88;
constexpr int MAX_TCP_MSS = 32767;

struct Connection {
    int fd = -1;
    std::string peer;
    uint64_t id = 0; // in the connection table
    std::unique_ptr<Session> session;
    ReplyQueue out;
    uint64_t frames = 0;
    bool closing = false; // a close is queued: read nothing more
    bool dead = false;
};

bool setNonBlocking(int fd) {
    const int flags = fcntl(fd, F_GETFL, 0);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

std::string addressText(const in_addr& addr) {
    char text[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &addr, text, sizeof text);
    return text;
}

std::string peerName(const sockaddr_in& addr) {
    return addressText(addr.sin_addr) + ":" + std::to_string(ntohs(addr.sin_port));
}

// A dotted address or a host name ("localhost"), resolved as the host program resolves --plc.
bool resolveIpv4(const std::string& name, in_addr* addr, std::string* error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(name.c_str(), nullptr, &hints, &found);
    if (rc != 0 || !found) {
        if (error) *error = "cannot resolve bind address '" + name + "': " + gai_strerror(rc);
        return false;
    }
    *addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

// One write per line, so lines from a busy server never interleave.
void writeStderrLine(const std::string& line) {
    const std::string withNewline = line + "\n";
    std::fwrite(withNewline.data(), 1, withNewline.size(), stderr);
}

int msUntil(Clock::time_point t, Clock::time_point now) {
    if (t <= now) return 0;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - now).count() + 1;
    return ms > 60000 ? 60000 : static_cast<int>(ms);
}

} // namespace

bool isLoopbackAddress(const std::string& address) {
    in_addr a{};
    if (inet_pton(AF_INET, address.c_str(), &a) != 1) return false;
    return (ntohl(a.s_addr) >> 24) == 127;
}

struct SimServer::Impl {
    SimServer& owner;
    const SimConfig& config;
    int listenFd = -1;
    int wake[2] = {-1, -1};
    uint16_t port = 0;
    std::string address; // the bind address resolved, dotted
    std::thread thread;
    std::atomic<bool> stopRequested{false};
    std::vector<std::unique_ptr<Connection>> connections;
    Clock::time_point nextAnimate;
    Clock::time_point nextStatus;
    std::vector<uint8_t> readBuffer; // reused by every read of the loop thread
    RequestLog requestLog;           // the loop thread only

    mutable std::mutex mutex; // guards everything below
    FaultPlan plan;
    uint64_t faultRequest = 0; // request number the fault rules see
    SimStats stats;
    mutable ConnectionTable table;

    Impl(SimServer& o, const SimConfig& c)
        : owner(o), config(c),
          requestLog(c.logSink ? c.logSink : RequestLog::Sink(writeStderrLine), c.logRate),
          plan(c.faults, c.seed), table(c.rules, c.node) {}

    bool start(std::string* error);
    void run();
    void closeAll();
    void acceptOne();
    std::unique_ptr<Session> newSession(uint64_t id);
    void readFrom(Connection& c);
    void queueOutput(Connection& c, SessionOutput& o);
    void flush(Connection& c, Clock::time_point now);
    void closeConnection(Connection& c);
    int pollTimeout(Clock::time_point now) const;
    void everySecond(Clock::time_point now);
    SimStatus status() const;
};

bool SimServer::Impl::start(std::string* error) {
    auto fail = [error](const std::string& what) {
        if (error) *error = what;
        return false;
    };
    in_addr addr{};
    if (!resolveIpv4(config.bind, &addr, error)) return false;
    address = addressText(addr);
    if (!config.allowRemoteBind && !isLoopbackAddress(address))
        return fail("bind address '" + config.bind +
                    "' is not a loopback address (127.x.x.x); use --allow-remote-bind");
    if (pipe(wake) != 0 || !setNonBlocking(wake[0]) || !setNonBlocking(wake[1]))
        return fail(std::string("cannot create wake-up pipe: ") + std::strerror(errno));
    listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd < 0) return fail(std::string("socket: ") + std::strerror(errno));
    const int one = 1;
    setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (config.segments.bytes) {
        // Advertise the segment size as the PLC does, so the kernel never merges pieces
        // (best effort: Linux takes 88 to 32767).
        const int mss =
            static_cast<int>(std::clamp<size_t>(config.segments.bytes, MIN_TCP_MSS, MAX_TCP_MSS));
        setsockopt(listenFd, IPPROTO_TCP, TCP_MAXSEG, &mss, sizeof mss);
    }
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr = addr;
    sa.sin_port = htons(config.port);
    if (bind(listenFd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0)
        return fail("cannot bind " + config.bind + ":" + std::to_string(config.port) + ": " +
                    std::strerror(errno));
    if (listen(listenFd, LISTEN_BACKLOG) != 0 || !setNonBlocking(listenFd))
        return fail(std::string("listen: ") + std::strerror(errno));
    socklen_t len = sizeof sa;
    getsockname(listenFd, reinterpret_cast<sockaddr*>(&sa), &len);
    port = ntohs(sa.sin_port);
    return true;
}

std::unique_ptr<Session> SimServer::Impl::newSession(uint64_t id) {
    if (config.remote) return std::make_unique<RemoteSession>(owner.memory_);
    return std::make_unique<FinsSession>(owner.memory_, config.node, config.messageLimit,
                                         [this, id](uint32_t proposed) {
                                             std::lock_guard<std::mutex> lock(mutex);
                                             return table.exchange(id, proposed, Clock::now());
                                         });
}

void SimServer::Impl::acceptOne() {
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    const int fd = accept4(listenFd, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC);
    if (fd < 0) return;
    if (connections.size() >= config.maxConnections || !setNonBlocking(fd)) {
        close(fd);
        return;
    }
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    c->peer = peerName(sa);
    c->out = ReplyQueue(config.segments);
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++stats.connectionsAccepted;
        c->id = table.open(c->peer);
    }
    c->session = newSession(c->id);
    connections.push_back(std::move(c));
}

void SimServer::Impl::queueOutput(Connection& c, SessionOutput& o) {
    FaultDecision d;
    bool closeAfterLimit = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        ++stats.requestsServed;
        d = plan.decide(++faultRequest);
        d.nonFatal = d.nonFatal && carriesValidData(o.reply, o.endCodeAt);
        if (!d.drop && !d.close) plan.spoil(d, faultRequest, &o.reply, o.endCodeAt);
        ++c.frames;
        const uint32_t limit = plan.closeAfter();
        closeAfterLimit = limit != 0 && c.frames >= limit;
        if (d.any() || closeAfterLimit) ++stats.faultsInjected;
    }
    const auto now = Clock::now();
    if (config.log) requestLog.request(c.peer, o.info, d, now);
    const bool close = o.closeAfter || d.close || closeAfterLimit;
    std::vector<uint8_t> bytes;
    if (!d.drop && !d.close) bytes = std::move(o.reply);
    if (!bytes.empty() || close)
        c.out.push(std::move(bytes), now + std::chrono::milliseconds(d.delayMs), close);
    c.closing = c.out.closeQueued();
}

void SimServer::Impl::readFrom(Connection& c) {
    std::vector<uint8_t>& buf = readBuffer;
    buf.resize(READ_CHUNK);
    const ssize_t n = recv(c.fd, buf.data(), buf.size(), 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
        closeConnection(c);
        return;
    }
    if (n < 0) return;
    std::vector<SessionOutput> outputs;
    c.session->feed(buf.data(), static_cast<size_t>(n), &outputs);
    for (SessionOutput& o : outputs) {
        if (c.closing) break;
        queueOutput(c, o);
    }
}

// Sends what is due, a piece at a time; a piece the socket takes only in part is finished
// on a later turn.
void SimServer::Impl::flush(Connection& c, Clock::time_point now) {
    while (!c.dead && c.out.ready(now)) {
        size_t n = 0;
        if (c.out.pieceSize()) {
            const ssize_t sent = send(c.fd, c.out.pieceData(), c.out.pieceSize(), MSG_NOSIGNAL);
            if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
            if (sent <= 0) {
                closeConnection(c);
                return;
            }
            n = static_cast<size_t>(sent);
        }
        if (c.out.sent(n, now)) closeConnection(c);
    }
}

void SimServer::Impl::closeConnection(Connection& c) {
    if (c.dead) return;
    close(c.fd);
    c.fd = -1;
    c.dead = true;
    std::lock_guard<std::mutex> lock(mutex);
    table.close(c.id, Clock::now());
}

int SimServer::Impl::pollTimeout(Clock::time_point now) const {
    int timeout = -1;
    auto consider = [&timeout, now](Clock::time_point t) {
        const int ms = msUntil(t, now);
        if (timeout < 0 || ms < timeout) timeout = ms;
    };
    for (const auto& c : connections)
        if (!c->out.empty() && c->out.frontDue() > now) consider(c->out.frontDue());
    if (config.animate) consider(nextAnimate);
    if (config.statusSink) consider(nextStatus);
    if (config.log && requestLog.summaryDue() != Clock::time_point::max())
        consider(requestLog.summaryDue());
    return timeout;
}

void SimServer::Impl::everySecond(Clock::time_point now) {
    if (config.log) requestLog.tick(now);
    if (!config.statusSink || now < nextStatus) return;
    nextStatus = now + STATUS_INTERVAL;
    config.statusSink(status());
}

SimStatus SimServer::Impl::status() const {
    std::lock_guard<std::mutex> lock(mutex);
    return {config.rules, table.snapshot(Clock::now()), stats};
}

void SimServer::Impl::run() {
    nextAnimate = Clock::now() + std::chrono::milliseconds(config.animateIntervalMs);
    nextStatus = Clock::now() + STATUS_INTERVAL;
    std::vector<pollfd> fds;
    while (!stopRequested.load()) {
        const auto before = Clock::now();
        fds.clear();
        fds.push_back({wake[0], POLLIN, 0});
        fds.push_back({listenFd, POLLIN, 0});
        for (const auto& c : connections) {
            short events = c->closing ? 0 : POLLIN;
            if (c->out.ready(before)) events |= POLLOUT;
            fds.push_back({c->fd, events, 0});
        }
        if (poll(fds.data(), fds.size(), pollTimeout(before)) < 0 && errno != EINTR) break;
        if (fds[0].revents & POLLIN) {
            char drain[64];
            while (read(wake[0], drain, sizeof drain) > 0) {
            }
        }
        if (stopRequested.load()) break;
        // Closes before accepts: a client that closes and reconnects is never counted twice.
        const size_t existing = connections.size();
        for (size_t i = 0; i < existing; ++i) {
            Connection& c = *connections[i];
            const short re = fds[i + 2].revents;
            if (re & POLLIN)
                readFrom(c);
            else if (re & (POLLHUP | POLLERR | POLLNVAL))
                closeConnection(c);
            flush(c, Clock::now());
        }
        if (fds[1].revents & POLLIN) acceptOne();
        if (config.animate && Clock::now() >= nextAnimate) {
            animateStep(owner.memory_);
            nextAnimate += std::chrono::milliseconds(config.animateIntervalMs);
        }
        for (size_t i = connections.size(); i-- > 0;)
            if (connections[i]->dead) connections.erase(connections.begin() + i);
        {
            std::lock_guard<std::mutex> lock(mutex);
            stats.openConnections = connections.size();
        }
        everySecond(Clock::now());
    }
}

void SimServer::Impl::closeAll() {
    for (auto& c : connections)
        closeConnection(*c);
    connections.clear();
    if (listenFd >= 0) close(listenFd);
    listenFd = -1;
    for (int& fd : wake) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    std::lock_guard<std::mutex> lock(mutex);
    stats.openConnections = 0;
}

SimServer::SimServer(const SimConfig& config)
    : config_(config), impl_(std::make_unique<Impl>(*this, config_)) {}

SimServer::~SimServer() {
    stop();
}

bool SimServer::start(std::string* error) {
    return impl_->start(error);
}
uint16_t SimServer::port() const {
    return impl_->port;
}
std::string SimServer::address() const {
    return impl_->address;
}

void SimServer::run() {
    if (impl_->listenFd < 0) return;
    impl_->run();
}

void SimServer::runInBackground() {
    if (impl_->listenFd < 0 || impl_->thread.joinable()) return;
    impl_->thread = std::thread([this] { impl_->run(); });
}

void SimServer::requestStop() {
    impl_->stopRequested.store(true);
    if (impl_->wake[1] >= 0) {
        const char byte = 1;
        ssize_t ignored = write(impl_->wake[1], &byte, 1);
        (void)ignored;
    }
}

void SimServer::stop() {
    requestStop();
    if (impl_->thread.joinable()) impl_->thread.join();
    impl_->closeAll();
}

void SimServer::setFaults(const std::vector<FaultRule>& rules) {
    setFaults(rules, config_.seed);
}

void SimServer::setFaults(const std::vector<FaultRule>& rules, uint32_t seed) {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    impl_->plan = FaultPlan(rules, seed);
    impl_->faultRequest = 0;
}

SimStatus SimServer::status() const {
    return impl_->status();
}

SimStats SimServer::stats() const {
    std::lock_guard<std::mutex> lock(impl_->mutex);
    return impl_->stats;
}

} // namespace plcsim
