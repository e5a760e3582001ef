#include <gtest/gtest.h>
#include <httplib.h>

#include <QJsonArray>

#include "panel/panel_server.h"

namespace fhost {
namespace {

QJsonObject document(int counter) {
    QJsonArray tags{
        QJsonObject{{"name", "counter"}, {"values", QJsonArray{counter}}, {"stale", false}},
        QJsonObject{{"name", "sp"}, {"values", QJsonArray{7}}, {"stale", false}, {"station", 1}}};
    return QJsonObject{{"status", QJsonObject{{"online", true}}}, {"tags", tags}};
}

struct Panel {
    explicit Panel(PanelOptions options = PanelOptions())
        : server(bridge) {
        bridge.publishTags(parseTagText("counter D 0\nsp D 100\nreals D:LREAL 200 3\n").tags);
        bridge.publish(document(1));
        std::string error;
        EXPECT_TRUE(server.start(options, &error)) << error;
        http.reset(new httplib::Client("127.0.0.1", server.port()));
        http->set_read_timeout(5);
    }
    HostBridge bridge;
    PanelServer server;
    std::unique_ptr<httplib::Client> http;
};

struct BadRequest {
    int status;
    const char* path;
    std::string body;
    const char* reason;
    httplib::Headers headers = {};
};

TEST(PanelServer, BadRequestsGetAJsonReasonAndQueueNothing) {
    Panel p;
    const std::string write = R"({"tag":"sp","value":1})";
    const BadRequest rows[] = {
        {400, "/api/write", "{bad", "the body must be a JSON object: unterminated object"},
        {400, "/api/write", "[1]", "the body must be a JSON object"},
        {400, "/api/write", R"({"value":1})", "\"tag\" must name a tag"},
        {404, "/api/write", R"({"tag":"nope","value":1})", "no tag named 'nope' in the tag file"},
        {404, "/api/read-once", R"({"tag":"nope"})", "no tag named 'nope' in the tag file"},
        {400, "/api/write", R"({"tag":"sp"})",
         "\"value\" must be a number, a text or an array of numbers"},
        {400, "/api/write", R"({"tag":"sp","value":70000})",
         "bad value '70000' for 'sp': a number -32768..65535 (or 0x hex)"},
        {403,
         "/api/write",
         write,
         "origin 'http://evil.example' is not this panel",
         {{"Origin", "http://evil.example"}}},
        {403,
         "/api/write",
         write,
         "host name 'evil.example' is not a loopback name of this panel",
         {{"Host", "evil.example"}}},
        {413, "/api/write", std::string(5000, ' '), "request larger than 4096 bytes"},
        {400, "/api/write", R"({"tag":"sp","value":"7\u0000xyz"})",
         "\"value\" must be a number, a text or an array of numbers"},
        {404, "/api/nothing", "{}", "no such page or interface"},
    };
    for (const BadRequest& r : rows) {
        auto res = p.http->Post(r.path, r.headers, r.body, "application/json");
        ASSERT_TRUE(res) << r.path << " " << httplib::to_string(res.error());
        EXPECT_EQ(res->status, r.status) << r.body;
        EXPECT_EQ(res->body,
                  "{\"error\":\"" + QString(r.reason).replace('"', "\\\"").toStdString() + "\"}");
    }
    // A chunked body is measured when it has come; a tag of a station that is down is
    // refused with the loop's reason.
    auto chunked = p.http->Post(
        "/api/write",
        [](size_t offset, httplib::DataSink& sink) {
            const std::string part(1000, ' ');
            if (offset < 6000) return sink.write(part.data(), part.size());
            sink.done();
            return true;
        },
        "application/json");
    ASSERT_TRUE(chunked);
    EXPECT_EQ(chunked->status, 413) << chunked->body;
    QJsonObject down = document(1);
    down["stations"] = QJsonArray{QJsonObject{{"station", 1}, {"refusal", "station 1 is down: x"}}};
    p.bridge.publish(down);
    auto refused = p.http->Post("/api/write", R"({"tag":"sp","value":1})", "application/json");
    ASSERT_TRUE(refused);
    EXPECT_EQ(std::to_string(refused->status) + " " + refused->body,
              R"(409 {"error":"station 1 is down: x"})");
    p.bridge.publish(document(1));
    EXPECT_TRUE(p.bridge.takeRequests().empty());

    const std::string origin = "http://127.0.0.1:" + std::to_string(p.server.port());
    auto res =
        p.http->Post("/api/write", {{"Origin", origin}},
                     R"({"tag":"reals","value":[1750,23.5,4294967295]})", "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(std::to_string(res->status) + " " + res->body, R"(202 {"id":1,"tag":"reals"})");
    auto queued = p.bridge.takeRequests();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].kind, HostBridge::Request::Write);
    EXPECT_EQ((queued[0].tag + "=" + queued[0].value).toStdString(), "reals=1750,23.5,4294967295");
}

// A reloaded tag file: requests name its tags, and no longer the ones it dropped.
TEST(PanelServer, RequestsNameTheTagsOfTheLatestTagFile) {
    Panel p;
    p.bridge.publishTags(parseTagText("sp D 100\nadded D:INT 300\n").tags);
    const std::pair<std::string, std::string> rows[] = {
        {R"({"tag":"added","value":-5})", R"(202 {"id":1,"tag":"added"})"},
        {R"({"tag":"added","value":40000})",
         "400 {\"error\":\"bad value for 'added': INT takes -32768 to 32767 or 0x hex up to "
         "0xFFFF, got '40000'\"}"},
        {R"({"tag":"counter","value":1})",
         R"(404 {"error":"no tag named 'counter' in the tag file"})"},
    };
    for (const auto& row : rows) {
        auto res = p.http->Post("/api/write", row.first, "application/json");
        ASSERT_TRUE(res);
        EXPECT_EQ(std::to_string(res->status) + " " + res->body, row.second) << row.first;
    }
}

TEST(PanelServer, LoopbackUnlessAllowedAndThenTheTokenOnEveryRequest) {
    HostBridge bridge;
    PanelServer refused(bridge);
    PanelOptions remote;
    std::string error;
    ASSERT_TRUE(parsePanelAddress("192.0.2.1:8080", &remote, &error));
    EXPECT_FALSE(refused.start(remote, &error));
    EXPECT_EQ(error, "--http 192.0.2.1 is not a loopback address; add --http-allow-remote (a token "
                     "is then required)");
    EXPECT_FALSE(parsePanelAddress("127.0.0.1", &remote, &error));

    PanelOptions allowed; // a remote panel bound to loopback, so the test stays on this machine
    allowed.allow_remote = true;
    Panel p(allowed);
    const std::string token = p.server.token();
    ASSERT_EQ(token.size(), 32u);
    EXPECT_EQ(p.server.url(),
              "http://127.0.0.1:" + std::to_string(p.server.port()) + "/?token=" + token);
    auto without = p.http->Get("/api/state");
    auto wrong = p.http->Get("/api/state", {{"Authorization", "Bearer " + token + "x"}});
    ASSERT_TRUE(without && wrong);
    EXPECT_EQ(std::make_pair(without->status, wrong->status), std::make_pair(401, 401));
    EXPECT_NE(without->body.find("this panel needs its token"), std::string::npos);

    auto page = p.http->Get(("/?token=" + token).c_str());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    const std::string cookie = page->get_header_value("Set-Cookie");
    EXPECT_EQ(cookie, "fins_panel_" + std::to_string(p.server.port()) + "=" + token +
                          "; Path=/; HttpOnly; SameSite=Strict");
    for (const httplib::Headers& h :
         {httplib::Headers{{"Authorization", "bEARER " + token}},
          httplib::Headers{{"Cookie", cookie.substr(0, cookie.find(';'))}}}) {
        auto res = p.http->Get("/api/state", h);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        EXPECT_EQ(res->body.rfind("{\"status\":{\"online\":true},\"tags\":[", 0), 0u);
    }
}

TEST(PanelServer, EventStreamSendsTheDocumentThenOnlyWhatChanged) {
    Panel p;
    std::string received;
    auto res = p.http->Get("/api/events", [&](const char* data, size_t length) {
        received.append(data, length);
        if (received.find("retry: 1000\nevent: state\n") == 0 &&
            received.find("\n\n") == received.size() - 2)
            p.bridge.publish(document(2));
        return received.find("event: update") == std::string::npos;
    });
    const std::string first = received.substr(0, received.find("\n\n") + 2);
    EXPECT_EQ(first.rfind("retry: 1000\nevent: state\ndata: "
                          "{\"status\":{\"online\":true},\"tags\":[{\"name\":\"counter\"",
                          0),
              0u);
    EXPECT_EQ(received.substr(first.size()),
              "event: update\ndata: {\"status\":{\"online\":true},\"tags\":[{\"name\":\"counter\","
              "\"stale\":false,\"values\":[2]}]}\n\n");
}

} // namespace
} // namespace fhost
