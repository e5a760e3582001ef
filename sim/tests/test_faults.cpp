// Fault rules: parsing, which requests they hit, and what they do to a reply.
#include <gtest/gtest.h>

#include <set>

#include "plcsim/faults.h"
#include "sim_test_util.h"

using namespace plcsim;
using namespace plcsim_test;

namespace {

struct ParseRow {
    const char* text;
    bool ok;
    FaultKind kind;
    uint32_t value;
    FaultTrigger trigger;
    uint64_t n;
    double p;
};

const ParseRow PARSE_ROWS[] = {
    {"drop@3", true, FaultKind::Drop, 0, FaultTrigger::Nth, 3, 0},
    {"drop", true, FaultKind::Drop, 0, FaultTrigger::Always, 0, 0},
    {"delay=500@every:5", true, FaultKind::Delay, 500, FaultTrigger::EveryNth, 5, 0},
    {"error=0x21@p:0.1", true, FaultKind::Error, 0x21, FaultTrigger::Probability, 0, 0.1},
    {"error=33@always", true, FaultKind::Error, 33, FaultTrigger::Always, 0, 0},
    {"corrupt@4", true, FaultKind::Corrupt, 1, FaultTrigger::Nth, 4, 0},
    {"corrupt=3@every:2", true, FaultKind::Corrupt, 3, FaultTrigger::EveryNth, 2, 0},
    {"extra=2", true, FaultKind::Extra, 2, FaultTrigger::Always, 0, 0},
    {"short@p:1", true, FaultKind::Short, 1, FaultTrigger::Probability, 0, 1.0},
    {"close@7", true, FaultKind::Close, 0, FaultTrigger::Nth, 7, 0},
    {"close-after=20", true, FaultKind::CloseAfter, 20, FaultTrigger::Always, 0, 0},
    {"explode@3", false, FaultKind::Drop, 0, FaultTrigger::Always, 0, 0},
    {"delay@3", false, FaultKind::Drop, 0, FaultTrigger::Always, 0, 0},
    {"delay=abc", false, FaultKind::Drop, 0, FaultTrigger::Always, 0, 0},
    {"delay=-5", false, FaultKind::Drop, 0, FaultTrigger::Always, 0, 0},
    {"delay=600001", false, FaultKind::Drop, 0, FaultTrigger::Always, 0, 0},
    {"extra=65537", false, FaultKind::Drop, 0, FaultTrigger::Always, 0, 0},
    {"error", false, FaultKind::Drop, 0, FaultTrigger::Always, 0, 0},
    {"drop@0", false, FaultKind::Drop, 0, FaultTrigger::Always, 0, 0},
    {"drop@every:0", false, FaultKind::Drop, 0, FaultTrigger::Always, 0, 0},
    {"drop@p:1.5", false, FaultKind::Drop, 0, FaultTrigger::Always, 0, 0},
    {"drop@p:", false, FaultKind::Drop, 0, FaultTrigger::Always, 0, 0},
    {"drop@sometimes", false, FaultKind::Drop, 0, FaultTrigger::Always, 0, 0},
    {"close-after=0", false, FaultKind::Drop, 0, FaultTrigger::Always, 0, 0},
    {"close-after=5@2", false, FaultKind::Drop, 0, FaultTrigger::Always, 0, 0},
    {"", false, FaultKind::Drop, 0, FaultTrigger::Always, 0, 0},
};

TEST(FaultRule, ParseRows) {
    for (const ParseRow& row : PARSE_ROWS) {
        FaultRule rule;
        std::string error;
        const bool ok = parseFaultRule(row.text, &rule, &error);
        ASSERT_EQ(ok, row.ok) << row.text << ": " << error;
        if (!ok) {
            EXPECT_FALSE(error.empty()) << row.text;
            continue;
        }
        EXPECT_EQ(rule.kind, row.kind) << row.text;
        EXPECT_EQ(rule.value, row.value) << row.text;
        EXPECT_EQ(rule.trigger, row.trigger) << row.text;
        EXPECT_EQ(rule.n, row.n) << row.text;
        EXPECT_DOUBLE_EQ(rule.p, row.p) << row.text;
        // Written back and parsed again, the rule is the same.
        FaultRule again;
        ASSERT_TRUE(parseFaultRule(faultRuleText(rule), &again, &error)) << faultRuleText(rule);
        EXPECT_EQ(again.kind, rule.kind);
        EXPECT_EQ(again.value, rule.value);
        EXPECT_EQ(again.trigger, rule.trigger);
        EXPECT_EQ(again.n, rule.n);
        EXPECT_NEAR(again.p, rule.p, 1e-6);
    }
}

FaultRule rule(const char* text) {
    FaultRule r;
    std::string error;
    EXPECT_TRUE(parseFaultRule(text, &r, &error)) << text << ": " << error;
    return r;
}

std::vector<uint64_t> hits(const FaultPlan& plan, uint64_t upTo) {
    std::vector<uint64_t> out;
    for (uint64_t i = 1; i <= upTo; ++i)
        if (plan.decide(i).any()) out.push_back(i);
    return out;
}

TEST(FaultPlan, TriggersHitTheRightRequests) {
    EXPECT_EQ(hits(FaultPlan({rule("drop@3")}, 1), 20), (std::vector<uint64_t>{3}));
    EXPECT_EQ(hits(FaultPlan({rule("drop@every:5")}, 1), 20),
              (std::vector<uint64_t>{5, 10, 15, 20}));
    EXPECT_EQ(hits(FaultPlan({rule("drop")}, 1), 3), (std::vector<uint64_t>{1, 2, 3}));
    EXPECT_TRUE(hits(FaultPlan({rule("drop@p:0")}, 1), 500).empty());
    EXPECT_EQ(hits(FaultPlan({rule("drop@p:1")}, 1), 500).size(), 500u);
    EXPECT_TRUE(hits(FaultPlan({rule("close-after=2")}, 1), 20).empty());
    EXPECT_EQ(FaultPlan({rule("close-after=5"), rule("close-after=3")}, 1).closeAfter(), 3u);
    EXPECT_EQ(FaultPlan({rule("drop")}, 1).closeAfter(), 0u);
}

TEST(FaultPlan, ProbabilityIsReproducibleForASeed) {
    const FaultPlan a({rule("drop@p:0.3")}, 7);
    const FaultPlan b({rule("drop@p:0.3")}, 7);
    const FaultPlan c({rule("drop@p:0.3")}, 8);
    const auto ha = hits(a, 1000);
    EXPECT_EQ(ha, hits(b, 1000));
    EXPECT_NE(ha, hits(c, 1000));
    // Roughly 300 of 1000; far outside that would mean a broken generator.
    EXPECT_GT(ha.size(), 230u);
    EXPECT_LT(ha.size(), 370u);
    // A decision depends only on its request number, not on what was asked before.
    for (uint64_t i : {999u, 3u, 500u, 3u})
        EXPECT_EQ(a.decide(i).drop, std::count(ha.begin(), ha.end(), i) == 1);
}

TEST(FaultPlan, RulesCombineOnOneRequest) {
    const FaultPlan plan({rule("delay=100@2"), rule("delay=300@every:2"), rule("extra=2@2"),
                          rule("extra=3@2"), rule("error=0x21@2")},
                         1);
    const FaultDecision d = plan.decide(2);
    EXPECT_EQ(d.delayMs, 300u);
    EXPECT_EQ(d.extraBytes, 5u);
    EXPECT_TRUE(d.setError);
    EXPECT_EQ(d.errorCode, 0x21u);
    EXPECT_FALSE(d.drop);
    EXPECT_FALSE(plan.decide(1).any());
}

const Bytes REPLY = fromHex("46494e53 00000016 00000002 00000000 c0000200 0a000001 0005 0102 0000");

TEST(FaultPlan, ErrorShortAndExtraChangeTheReply) {
    const FaultPlan plan({}, 1);
    FaultDecision error;
    error.setError = true;
    error.errorCode = 0x21;
    Bytes r = REPLY;
    plan.spoil(error, 1, &r);
    EXPECT_EQ(toHex(r), normHex("46494e53 00000016 00000002 00000021 c0000200 0a000001 0005 "
                                "0102 0000"));
    FaultDecision cut;
    cut.shortBytes = 3;
    r = REPLY;
    plan.spoil(cut, 1, &r);
    EXPECT_EQ(toHex(r), normHex("46494e53 00000016 00000002 00000000 c0000200 0a000001 0005 01"));
    cut.shortBytes = 1000;
    r = REPLY;
    plan.spoil(cut, 1, &r);
    EXPECT_TRUE(r.empty());
    FaultDecision extra;
    extra.extraBytes = 4;
    r = REPLY;
    plan.spoil(extra, 1, &r);
    ASSERT_EQ(r.size(), REPLY.size() + 4);
    EXPECT_TRUE(std::equal(REPLY.begin(), REPLY.end(), r.begin()));
    Bytes again = REPLY;
    plan.spoil(extra, 1, &again);
    EXPECT_EQ(r, again);
}

TEST(FaultPlan, CorruptFlipsExactlyTheAskedNumberOfBytes) {
    for (uint32_t k : {1u, 5u, 30u, 100u}) {
        const FaultPlan plan({}, 42);
        FaultDecision d;
        d.corruptBytes = k;
        Bytes r = REPLY;
        plan.spoil(d, 9, &r);
        ASSERT_EQ(r.size(), REPLY.size());
        size_t flipped = 0;
        for (size_t i = 0; i < r.size(); ++i) {
            if (r[i] == REPLY[i]) continue;
            EXPECT_EQ(r[i], REPLY[i] ^ 0xFF) << "byte " << i;
            ++flipped;
        }
        EXPECT_EQ(flipped, std::min<size_t>(k, REPLY.size()));
        Bytes again = REPLY;
        plan.spoil(d, 9, &again);
        EXPECT_EQ(r, again) << "same seed and request, same bytes";
    }
    // Other requests pick other positions.
    const FaultPlan plan({}, 42);
    FaultDecision d;
    d.corruptBytes = 1;
    std::set<Bytes> variants;
    for (uint64_t req = 1; req <= 20; ++req) {
        Bytes r = REPLY;
        plan.spoil(d, req, &r);
        variants.insert(r);
    }
    EXPECT_GT(variants.size(), 5u);
}

} // namespace
