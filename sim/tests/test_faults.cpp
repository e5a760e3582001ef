// Fault rules: what is accepted, which requests a rule hits (seeded, reproducible), and
// what each kind does to a reply, as exact bytes.
#include <gtest/gtest.h>

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

TEST(FaultRule, ParsesKindValueAndTrigger) {
    const FaultRule delay = rule("delay=500@every:5");
    EXPECT_EQ(delay.kind, FaultKind::Delay);
    EXPECT_EQ(delay.value, 500u);
    EXPECT_EQ(delay.trigger, FaultTrigger::EveryNth);
    EXPECT_EQ(delay.n, 5u);
    const FaultRule error = rule("error=0x21@p:0.25");
    EXPECT_EQ(error.value, 0x21u);
    EXPECT_DOUBLE_EQ(error.p, 0.25);
    EXPECT_EQ(rule("corrupt").value, 1u); // the default byte count
    EXPECT_EQ(rule("close-after=20").value, 20u);
    for (const char* bad : {"explode@3", "delay@3", "delay=-5", "delay=600001", "extra=65537",
                            "error", "drop@0", "drop@every:0", "drop@p:1.5",
                            "drop@p:", "drop@sometimes", "close-after=0", "close-after=5@2", ""}) {
        FaultRule r;
        std::string error;
        EXPECT_FALSE(parseFaultRule(bad, &r, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

TEST(FaultPlan, TriggersHitTheRightRequests) {
    EXPECT_EQ(hits({rule("drop@3")}, 20), (std::vector<uint64_t>{3}));
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
    EXPECT_GT(seeded.size(), 230u);
    EXPECT_LT(seeded.size(), 370u);
}

TEST(FaultPlan, RulesHittingOneRequestCombine) {
    const FaultPlan plan({rule("delay=100@2"), rule("delay=300@every:2"), rule("extra=2@2"),
                          rule("extra=3@2"), rule("error=0x21@2")},
                         1);
    const FaultDecision d = plan.decide(2);
    EXPECT_EQ(d.delayMs, 300u);  // the longest
    EXPECT_EQ(d.extraBytes, 5u); // the sum
    EXPECT_EQ(d.errorCode, 0x21u);
    EXPECT_FALSE(d.drop);
    EXPECT_FALSE(plan.decide(1).any());
}

TEST(FaultPlan, SpoilsTheReplyAsAsked) {
    const Bytes reply =
        fromHex("46494e53 00000016 00000002 00000000 c0000200 0a000001 0005 0102 0000");
    const FaultPlan plan({}, 42);
    auto spoiled = [&](FaultDecision d, uint64_t request = 9) {
        Bytes r = reply;
        plan.spoil(d, request, &r);
        return r;
    };
    FaultDecision error, cut, all, extra, corrupt;
    error.setError = true;
    error.errorCode = 0x21;
    EXPECT_EQ(toHex(spoiled(error)),
              normHex("46494e53 00000016 00000002 00000021 c0000200 0a000001 0005 0102 0000"));
    cut.shortBytes = 3;
    EXPECT_EQ(toHex(spoiled(cut)),
              normHex("46494e53 00000016 00000002 00000000 c0000200 0a000001 0005 01"));
    all.shortBytes = 1000;
    EXPECT_TRUE(spoiled(all).empty());
    extra.extraBytes = 4;
    const Bytes longer = spoiled(extra);
    ASSERT_EQ(longer.size(), reply.size() + 4);
    EXPECT_TRUE(std::equal(reply.begin(), reply.end(), longer.begin()));
    EXPECT_EQ(spoiled(extra), longer);
    for (uint32_t k : {1u, 5u, 100u}) {
        corrupt.corruptBytes = k;
        const Bytes r = spoiled(corrupt);
        size_t flipped = 0;
        for (size_t i = 0; i < r.size(); ++i)
            flipped += r[i] == (reply[i] ^ 0xFF) ? 1 : r[i] == reply[i] ? 0 : 100;
        EXPECT_EQ(flipped, std::min<size_t>(k, reply.size())) << k;
        EXPECT_EQ(spoiled(corrupt), r); // same seed and request, same bytes
        if (k < reply.size()) {
            EXPECT_NE(spoiled(corrupt, 10), r); // another request, other bytes
        }
    }
}

} // namespace
