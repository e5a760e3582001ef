// Fault rules: what is accepted, which requests a rule hits (seeded, reproducible), and
// what each kind does to a reply, as exact bytes.
#include <gtest/gtest.h>

#include <tuple>

#include "plcsim/faults.h"
#include "sim_test_util.h"

using namespace plcsim;
using namespace plcsim_test;

namespace {

FaultRule rule(const char* text) {
    FaultRule r;
    std::string error;
    EXPECT_TRUE(parseFaultRule(text, &r, &error)) << text << ": " << error;
    return r;
}

// The requests among 1..upTo on which the plan does anything.
std::vector<uint64_t> hits(const std::vector<FaultRule>& rules, uint64_t upTo, uint32_t seed = 1) {
    const FaultPlan plan(rules, seed);
    std::vector<uint64_t> out;
    for (uint64_t i = 1; i <= upTo; ++i)
        if (plan.decide(i).any()) out.push_back(i);
    return out;
}

TEST(PlcsimFaults, ParsesRulesAndRefusesBadOnes) {
    const FaultRule d = rule("delay=500@every:5");
    EXPECT_EQ(std::make_tuple(d.kind, d.value, d.trigger, d.n),
              std::make_tuple(FaultKind::Delay, 500u, FaultTrigger::EveryNth, uint64_t(5)));
    EXPECT_DOUBLE_EQ(rule("error=0x21@p:0.25").p, 0.25);
    EXPECT_EQ(rule("corrupt").value, 1u); // the default byte count
    for (const char* bad : {"explode@3", "delay@3", "delay=-5", "delay=600001", "extra=65537",
                            "drop@0", "drop@every:0", "drop@p:1.5", "drop@p:", "drop@sometimes",
                            "close-after=0", "close-after=5@2", ""}) {
        FaultRule r;
        std::string error;
        EXPECT_TRUE(!parseFaultRule(bad, &r, &error) && !error.empty()) << bad;
    }
}

// The Nth-request trigger and an error code's value: test_server_loopback.cpp.
TEST(PlcsimFaults, TriggersHitTheRightRequestsAndCombine) {
    EXPECT_EQ(hits({rule("drop@every:5")}, 20), (std::vector<uint64_t>{5, 10, 15, 20}));
    EXPECT_EQ(hits({rule("drop")}, 3), (std::vector<uint64_t>{1, 2, 3}));
    EXPECT_TRUE(hits({rule("drop@p:0")}, 500).empty());
    EXPECT_EQ(hits({rule("drop@p:1")}, 500).size(), 500u);
    EXPECT_TRUE(hits({rule("close-after=2")}, 20).empty()); // per connection, not per request
    EXPECT_EQ(FaultPlan({rule("close-after=5"), rule("close-after=3")}, 1).closeAfter(), 3u);
    // p: the same seed hits the same requests, about the share asked for.
    const auto seeded = hits({rule("drop@p:0.3")}, 1000, 7);
    EXPECT_EQ(seeded, hits({rule("drop@p:0.3")}, 1000, 7));
    EXPECT_NE(seeded, hits({rule("drop@p:0.3")}, 1000, 8));
    EXPECT_TRUE(seeded.size() > 230u && seeded.size() < 370u) << seeded.size();
    // Rules hitting one request combine: the longest delay, the sum of extra bytes.
    const FaultDecision d = FaultPlan({rule("delay=100@2"), rule("delay=300@every:2"),
                                       rule("extra=2@2"), rule("extra=3@2"), rule("error=7@2")},
                                      1)
                                .decide(2);
    EXPECT_EQ(std::make_tuple(d.delayMs, d.extraBytes, d.errorCode, d.drop),
              std::make_tuple(300u, 5u, 7u, false));
}

TEST(PlcsimFaults, SpoilsTheReplyAsAsked) {
    const std::string reply =
        "46494e53 00000016 00000002 00000000 c0000200 0a000001 0005 0102 0000";
    const FaultPlan plan({}, 42);
    auto spoiled = [&](const char* ruleText, uint64_t request = 9) {
        Bytes r = fromHex(reply);
        plan.spoil(FaultPlan({rule(ruleText)}, 1).decide(1), request, &r);
        return toHex(r);
    };
    EXPECT_EQ(spoiled("error=0x21"),
              normHex("46494e53 00000016 00000002 00000021 c0000200 0a000001 0005 0102 0000"));
    EXPECT_EQ(spoiled("short=3"),
              normHex("46494e53 00000016 00000002 00000000 c0000200 0a000001 0005 01"));
    EXPECT_EQ(spoiled("short=1000"), "");
    const std::string longer = spoiled("extra=4");
    EXPECT_EQ(longer.substr(0, normHex(reply).size()), normHex(reply));
    EXPECT_EQ(longer.size(), normHex(reply).size() + 8);
    EXPECT_EQ(spoiled("extra=4"), longer); // same seed and request, same bytes
    for (const char* corrupt : {"corrupt", "corrupt=5", "corrupt=100"}) {
        const Bytes original = fromHex(reply), r = fromHex(spoiled(corrupt));
        size_t flipped = 0;
        for (size_t i = 0; i < r.size(); ++i)
            flipped += r[i] == (original[i] ^ 0xFF) ? 1 : r[i] == original[i] ? 0 : 100;
        EXPECT_EQ(flipped, std::min<size_t>(rule(corrupt).value, original.size())) << corrupt;
        EXPECT_EQ(spoiled(corrupt), toHex(r));
    }
    EXPECT_NE(spoiled("corrupt=2", 10), spoiled("corrupt=2", 11)); // other request, other bytes
    // nonfatal marks only a reply with valid data: end code 0x0000 where the session says.
    const char* const nonFatalRows[][3] = {
        {reply.c_str(), "28",
         "46494e53 00000016 00000002 00000000 c0000200 0a000001 0005 0102 0040"},
        {"46494e53 00000016 00000002 00000000 c0000200 0a000001 0005 0101 1103", "28", ""},
        {"46494e53 00000010 00000001 00000000 000000fb 00000001", "0", ""},
        {"46494e53 00000016 00000002 00000000 c000", "28", ""}};
    for (const auto& [bytes, at, expected] : nonFatalRows) {
        Bytes r = fromHex(bytes);
        FaultPlan({}, 1).spoil(FaultPlan({rule("nonfatal")}, 1).decide(1), 1, &r, std::stoul(at));
        EXPECT_EQ(toHex(r), normHex(*expected ? expected : bytes)) << bytes;
    }
}

} // namespace
