#include "panel_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>

#include "panel_assets.h"
#include "panel_events.h"
#include "tag_values.h"

namespace fhost {

namespace {

// A write or read request is a short JSON object; anything larger is refused unread.
const size_t kMaxRequestBytes = 4096;
// Each event stream holds a server thread; the rest serve pages and requests.
const int kServerThreads = 12;
const int kMaxEventStreams = 8;
// How long a stream waits for a document before checking for shutdown, and how
// often an idle stream sends a comment so a vanished browser is noticed.
const int kStreamWaitMs = 500;
const int kIdleCommentEvery = 20;
const int kTokenBytes = 16;

bool isLoopbackAddress(const std::string& address) {
    in_addr v4;
    in6_addr v6;
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
    return inet_pton(AF_INET6, address.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

// The host name of a Host header, without its port.
std::string hostName(const std::string& host_header) {
    if (!host_header.empty() && host_header[0] == '[') {
        const size_t close = host_header.find(']');
        return close == std::string::npos ? host_header : host_header.substr(1, close - 1);
    }
    return host_header.substr(0, host_header.find(':'));
}

std::string generateToken() {
    std::random_device random;
    std::string token;
    for (int i = 0; i < kTokenBytes; ++i) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned>(random() & 0xFF));
        token += hex;
    }
    return token;
}

// Compares in time independent of where the texts differ.
bool sameSecret(const std::string& a, const std::string& b) {
    unsigned diff = a.size() != b.size();
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

// The credentials of an "Authorization: Bearer TOKEN" header; the scheme's case is free.
std::string bearerToken(const std::string& header) {
    const std::string scheme = "bearer ";
    if (header.size() <= scheme.size()) return std::string();
    for (size_t i = 0; i < scheme.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(header[i])) != scheme[i]) return std::string();
    return header.substr(scheme.size());
}

// Why a port cannot be bound, in the system's words: the server library tells only
// that it failed.
std::string bindFailure(const std::string& address, int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    std::string why = "cannot listen";
    if (fd >= 0 && inet_pton(AF_INET, address.c_str(), &a.sin_addr) == 1) {
        const int yes = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 1) != 0)
            why = std::strerror(errno);
    }
    if (fd >= 0) ::close(fd);
    return why;
}

// Only SO_REUSEADDR: with the library's default SO_REUSEPORT a second host could bind
// the same port, and requests would alternate between the two.
void panelSocketOptions(int fd) {
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

std::string cookieValue(const std::string& cookies, const std::string& name) {
    const std::string key = name + "=";
    for (size_t at = 0; (at = cookies.find(key, at)) != std::string::npos; at += key.size()) {
        if (at > 0 && cookies[at - 1] != ' ' && cookies[at - 1] != ';') continue;
        const size_t start = at + key.size();
        return cookies.substr(start, cookies.find(';', start) - start);
    }
    return std::string();
}

void replyJson(httplib::Response& res, int status, const QJsonObject& body) {
    res.status = status;
    res.set_content(QJsonDocument(body).toJson(QJsonDocument::Compact).toStdString(),
                    "application/json");
}

void replyError(httplib::Response& res, int status, const std::string& reason) {
    replyJson(res, status, QJsonObject{{"error", QString::fromStdString(reason)}});
}

const char* statusReason(int status) {
    switch (status) {
    case 404:
        return "no such page or interface";
    case 409:
        return "the tag's station is down";
    case 413:
        return "request larger than 4096 bytes";
    default:
        return "bad request";
    }
}

// A write's value as the command line's text: a number, a text, or an array of numbers.
bool valueText(const QJsonValue& value, std::string* text) {
    if (value.isString()) {
        // A NUL would end the text early for the number parser: "7\u0000xyz" is no 7.
        if (value.toString().contains(QChar(0))) return false;
        *text = value.toString().toStdString();
        return true;
    }
    const QJsonArray list = value.isArray() ? value.toArray() : QJsonArray{value};
    text->clear();
    for (const QJsonValue& v : list) {
        if (!v.isDouble()) return false;
        // 23.5 as "23.5", 4294967295 in full: the tag's data type judges the text.
        const double d = v.toDouble();
        const std::string number =
            d == std::floor(d) && std::fabs(d) <= 9007199254740992.0
                ? std::to_string(static_cast<long long>(d))
                : QByteArray::number(d, 'g', QLocale::FloatingPointShortest).toStdString();
        *text += (text->empty() ? "" : ",") + number;
    }
    return !list.isEmpty();
}

} // namespace

bool parsePanelAddress(const std::string& text, PanelOptions* out, std::string* error) {
    const size_t colon = text.rfind(':');
    char* end = nullptr;
    const long port =
        colon == std::string::npos ? -1 : std::strtol(text.c_str() + colon + 1, &end, 10);
    if (colon == std::string::npos || colon == 0 || !end || *end || port < 0 || port > 65535 ||
        colon + 1 == text.size()) {
        *error = "--http expects ADDR:PORT (port 0: any free port), got '" + text + "'";
        return false;
    }
    std::string address = text.substr(0, colon);
    if (address.size() > 2 && address.front() == '[' && address.back() == ']')
        address = address.substr(1, address.size() - 2);
    out->address = address == "localhost" ? "127.0.0.1" : address;
    out->port = static_cast<int>(port);
    return true;
}

struct PanelServer::Impl {
    explicit Impl(HostBridge& b) : bridge(b) {}

    HostBridge& bridge;
    PanelOptions options;
    httplib::Server server;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<int> streams{0};
    int port = 0;

    std::string cookieName() const { return "fins_panel_" + std::to_string(port); }

    bool hasToken(const httplib::Request& req) const {
        const std::string& token = options.token;
        const std::string auth = req.get_header_value("Authorization");
        return sameSecret(bearerToken(auth), token) ||
               sameSecret(req.get_param_value("token"), token) ||
               sameSecret(cookieValue(req.get_header_value("Cookie"), cookieName()), token);
    }

    // Every request: a loopback panel answers only to loopback host names (a page
    // of another site cannot reach it by renaming itself), and the token when set.
    httplib::Server::HandlerResponse admit(const httplib::Request& req, httplib::Response& res) {
        const std::string host = hostName(req.get_header_value("Host"));
        if (!options.allow_remote && host != "localhost" && !isLoopbackAddress(host)) {
            replyError(res, 403, "host name '" + host + "' is not a loopback name of this panel");
            return httplib::Server::HandlerResponse::Handled;
        }
        if (!options.token.empty() && !hasToken(req)) {
            replyError(res, 401,
                       "this panel needs its token (?token=... or Authorization: Bearer ...)");
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    }

    void serveAsset(const httplib::Request& req, httplib::Response& res) {
        const PanelAsset* asset = findPanelAsset(req.path);
        if (!asset) return replyError(res, 404, "no such page: " + req.path);
        res.set_content(reinterpret_cast<const char*>(asset->data), asset->size,
                        asset->content_type);
        if (req.has_param("token") && !options.token.empty())
            res.set_header("Set-Cookie", cookieName() + "=" + options.token +
                                             "; Path=/; HttpOnly; SameSite=Strict");
    }

    void serveState(httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        replyJson(res, 200, *bridge.state());
    }

    void serveEvents(httplib::Response& res) {
        if (++streams > kMaxEventStreams) {
            --streams;
            return replyError(res, 503, "too many event streams open on this panel");
        }
        struct Stream {
            PanelEventStream events;
            quint64 seq = 0;
            int idle_waits = 0;
        };
        auto stream = std::make_shared<Stream>();
        res.set_header("Cache-Control", "no-store");
        res.set_chunked_content_provider(
            "text/event-stream",
            [this, stream](size_t, httplib::DataSink& sink) {
                std::string chunk;
                if (bridge.waitNewer(stream->seq, kStreamWaitMs)) {
                    chunk = stream->events.next(bridge.state(&stream->seq));
                    stream->idle_waits = 0;
                } else if (++stream->idle_waits % kIdleCommentEvery == 0) {
                    chunk = ": idle\n\n";
                }
                if (stopping) return false;
                return chunk.empty() || sink.write(chunk.data(), chunk.size());
            },
            [this](bool) { --streams; });
    }

    // A write or read request: from this panel's page (Origin), a JSON object naming
    // a tag of the tag file as last (re)loaded. Answers the client and returns false when
    // it is not.
    bool requestedTag(const httplib::Request& req, httplib::Response& res, QJsonObject* body,
                      Tag* tag) {
        const std::string origin = req.get_header_value("Origin");
        if (!origin.empty() && origin != "http://" + req.get_header_value("Host")) {
            replyError(res, 403, "origin '" + origin + "' is not this panel");
            return false;
        }
        if (req.body.size() > kMaxRequestBytes) { // a chunked body is measured only here
            replyError(res, 413, statusReason(413));
            return false;
        }
        QJsonParseError parse;
        const QJsonDocument doc =
            QJsonDocument::fromJson(QByteArray::fromStdString(req.body), &parse);
        if (parse.error != QJsonParseError::NoError || !doc.isObject()) {
            replyError(res, 400,
                       "the body must be a JSON object" +
                           (parse.error ? ": " + parse.errorString().toStdString() : ""));
            return false;
        }
        *body = doc.object();
        if (!body->value("tag").isString()) {
            replyError(res, 400, "\"tag\" must name a tag");
            return false;
        }
        const std::string name = body->value("tag").toString().toStdString();
        if (!bridge.findTag(name, tag)) {
            replyError(res, 404, "no tag named '" + name + "' in the tag file");
            return false;
        }
        const std::string down = stationDown(name);
        if (!down.empty()) {
            replyError(res, 409, down);
            return false;
        }
        return true;
    }

    // "station 1 is down: connection refused" while the loop's last document says so.
    std::string stationDown(const std::string& tag) const {
        const StateDocument document = bridge.state();
        const QJsonObject& state = *document;
        int station = -1;
        for (const QJsonValue& t : state["tags"].toArray())
            if (t["name"].toString().toStdString() == tag) station = t["station"].toInt();
        for (const QJsonValue& st : state["stations"].toArray())
            if (st["station"].toInt() == station) return st["refusal"].toString().toStdString();
        return std::string();
    }

    void acceptRequest(httplib::Response& res, HostBridge::Request::Kind kind, const Tag& tag,
                       const std::string& value) {
        const quint64 id =
            bridge.request(kind, QString::fromStdString(tag.name), QString::fromStdString(value));
        replyJson(res, 202,
                  QJsonObject{{"id", static_cast<double>(id)},
                              {"tag", QString::fromStdString(tag.name)}});
    }

    void handleWrite(const httplib::Request& req, httplib::Response& res) {
        QJsonObject body;
        Tag tag;
        if (!requestedTag(req, res, &body, &tag)) return;
        std::string text, error;
        QByteArray buffer;
        int count = 0;
        if (!valueText(body.value("value"), &text))
            return replyError(res, 400,
                              "\"value\" must be a number, a text or an array of numbers");
        if (!parseWriteValues(tag, text, &buffer, &count, &error))
            return replyError(res, 400, error);
        acceptRequest(res, HostBridge::Request::Write, tag, text);
    }

    void handleReadOnce(const httplib::Request& req, httplib::Response& res) {
        QJsonObject body;
        Tag tag;
        if (requestedTag(req, res, &body, &tag))
            acceptRequest(res, HostBridge::Request::ReadOnce, tag, std::string());
    }

    void route() {
        server.new_task_queue = [] { return new httplib::ThreadPool(kServerThreads); };
        server.set_payload_max_length(kMaxRequestBytes);
        server.set_socket_options(panelSocketOptions);
        server.set_keep_alive_timeout(2);
        server.set_read_timeout(5);
        server.set_write_timeout(5);
        server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
            return admit(req, res);
        });
        server.set_error_handler([](const httplib::Request&, httplib::Response& res) {
            if (res.body.empty()) replyError(res, res.status, statusReason(res.status));
        });
        server.Get("/api/state",
                   [this](const httplib::Request&, httplib::Response& res) { serveState(res); });
        server.Get("/api/events",
                   [this](const httplib::Request&, httplib::Response& res) { serveEvents(res); });
        server.Post("/api/write", [this](const httplib::Request& req, httplib::Response& res) {
            handleWrite(req, res);
        });
        server.Post("/api/read-once", [this](const httplib::Request& req, httplib::Response& res) {
            handleReadOnce(req, res);
        });
        server.Get(R"(/[A-Za-z0-9_.-]*)", [this](const httplib::Request& req,
                                                 httplib::Response& res) { serveAsset(req, res); });
    }
};

PanelServer::PanelServer(HostBridge& bridge) : impl_(new Impl(bridge)) {}

PanelServer::~PanelServer() {
    stop();
}

bool PanelServer::start(const PanelOptions& options, std::string* error) {
    Impl& d = *impl_;
    d.options = options;
    if (!options.allow_remote && !isLoopbackAddress(options.address)) {
        *error = "--http " + options.address +
                 " is not a loopback address; add --http-allow-remote "
                 "(a token is then required)";
        return false;
    }
    if (options.allow_remote && d.options.token.empty()) d.options.token = generateToken();
    d.route();
    d.port = options.port == 0
                 ? d.server.bind_to_any_port(options.address)
                 : (d.server.bind_to_port(options.address, options.port) ? options.port : -1);
    if (d.port <= 0) {
        *error = "--http " + options.address + ":" + std::to_string(options.port) + ": " +
                 bindFailure(options.address, options.port);
        return false;
    }
    d.thread = std::thread([&d] { d.server.listen_after_bind(); });
    return true;
}

void PanelServer::stop() {
    Impl& d = *impl_;
    if (!d.thread.joinable()) return;
    d.stopping = true;
    d.server.stop();
    d.thread.join();
}

int PanelServer::port() const {
    return impl_->port;
}

const std::string& PanelServer::token() const {
    return impl_->options.token;
}

std::string PanelServer::url() const {
    const std::string& a = impl_->options.address;
    const std::string host = a.find(':') == std::string::npos ? a : "[" + a + "]";
    return "http://" + host + ":" + std::to_string(impl_->port) + "/" +
           (token().empty() ? "" : "?token=" + token());
}

} // namespace fhost
