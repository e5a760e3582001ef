#include <gtest/gtest.h>
#include <httplib.h>

#include <QJsonArray>

#include "panel/panel_server.h"

namespace fhost {
namespace {

QJsonObject document(int counter) {
    QJsonArray tags{
        QJsonObject{{"name", "counter"}, {"values", QJsonArray{counter}}, {"stale", false}},
        QJsonObject{{"name", "setpoint"}, {"values", QJsonArray{7}}, {"stale", false}}};
    return QJsonObject{{"status", QJsonObject{{"online", true}}}, {"tags", tags}};
}

struct Panel {
    explicit Panel(PanelOptions options = PanelOptions())
        : server(bridge, parseTagText(kTags).tags) {
        bridge.publish(document(1));
        std::string error;
        EXPECT_TRUE(server.start(options, &error)) << error;
        http.reset(new httplib::Client("127.0.0.1", server.port()));
        http->set_read_timeout(5);
    }
    static constexpr const char* kTags = "counter D 0\nsetpoint D 100\n";
    HostBridge bridge;
    PanelServer server;
    std::unique_ptr<httplib::Client> http;
};

struct BadRequest {
    const char* path;
    std::string body;
    httplib::Headers headers;
    int status;
    const char* reason;
};

TEST(PanelServer, BadRequestsGetAJsonReasonAndQueueNothing) {
    Panel p;
    const BadRequest rows[] = {
        {"/api/write", "{bad", {}, 400, "the body must be a JSON object: unterminated object"},
        {"/api/write", "[1]", {}, 400, "the body must be a JSON object"},
        {"/api/write", R"({"value":1})", {}, 400, "\"tag\" must name a tag"},
        {"/api/write",
         R"({"tag":"nope","value":1})",
         {},
         404,
         "no tag named 'nope' in the tag file"},
        {"/api/read-once", R"({"tag":"nope"})", {}, 404, "no tag named 'nope' in the tag file"},
        {"/api/write",
         R"({"tag":"setpoint"})",
         {},
         400,
         "\"value\" must be a number, a text or an array of numbers"},
        {"/api/write",
         R"({"tag":"setpoint","value":70000})",
         {},
         400,
         "bad value '70000' for 'setpoint': a number -32768..65535 (or 0x hex)"},
        {"/api/write",
         R"({"tag":"setpoint","value":"1,2"})",
         {},
         400,
         "'setpoint' takes 1 to 1 value(s), got '1,2'"},
        {"/api/write",
         R"({"tag":"setpoint","value":1})",
         {{"Origin", "http://evil.example"}},
         403,
         "origin 'http://evil.example' is not this panel"},
        {"/api/write",
         R"({"tag":"setpoint","value":1})",
         {{"Host", "evil.example"}},
         403,
         "host name 'evil.example' is not a loopback name of this panel"},
        {"/api/write", std::string(5000, ' '), {}, 413, "request larger than 4096 bytes"},
        {"/api/nothing", "{}", {}, 404, "no such page or interface"},
    };
    for (const BadRequest& r : rows) {
        auto res = p.http->Post(r.path, r.headers, r.body, "application/json");
        ASSERT_TRUE(res) << r.path << " " << httplib::to_string(res.error());
        EXPECT_EQ(res->status, r.status) << r.body;
        EXPECT_EQ(res->body,
                  "{\"error\":\"" + QString(r.reason).replace('"', "\\\"").toStdString() + "\"}");
    }
    EXPECT_TRUE(p.bridge.takeRequests().empty());

    const std::string origin = "http://127.0.0.1:" + std::to_string(p.server.port());
    auto res = p.http->Post("/api/write", {{"Origin", origin}},
                            R"({"tag":"setpoint","value":[1750]})", "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 202);
    EXPECT_EQ(res->body, R"({"id":1,"tag":"setpoint"})");
    auto queued = p.bridge.takeRequests();
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_EQ(queued[0].kind, HostBridge::Request::Write);
    EXPECT_EQ(queued[0].tag, "setpoint");
    EXPECT_EQ(queued[0].value, "1750");
}

TEST(PanelServer, LoopbackUnlessAllowedAndThenTheTokenOnEveryRequest) {
    HostBridge bridge;
    PanelServer refused(bridge, {});
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
    EXPECT_EQ(without->status, 401);
    EXPECT_EQ(wrong->status, 401);
    EXPECT_NE(without->body.find("this panel needs its token"), std::string::npos);

    auto page = p.http->Get(("/?token=" + token).c_str());
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    const std::string cookie = page->get_header_value("Set-Cookie");
    EXPECT_EQ(cookie, "fins_panel_" + std::to_string(p.server.port()) + "=" + token +
                          "; Path=/; HttpOnly; SameSite=Strict");
    for (const httplib::Headers& h :
         {httplib::Headers{{"Authorization", "Bearer " + token}},
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
