// Seeded random byte streams through the sessions: every reply is well formed, and
// how the stream is cut never changes the replies.
#include <gtest/gtest.h>

#include <random>

#include "plcsim/session.h"
#include "sim_test_util.h"

using namespace plcsim;
using namespace plcsim_test;

namespace {

// A stream of mostly plausible FINS/TCP frames with random damage.
Bytes randomFinsStream(std::mt19937& rng) {
    std::uniform_int_distribution<int> byte(0, 255), kind(0, 9), small(0, 40);
    Bytes s;
    const int frames = 1 + small(rng) / 4;
    for (int f = 0; f < frames; ++f) {
        Bytes payload;
        const int k = kind(rng);
        if (k == 0) {
            payload = {0, 0, 0, static_cast<uint8_t>(byte(rng))};
            s = concat(s, tcpFrame(0, payload));
            continue;
        }
        payload = fromHex("80 00 02 00 01 00 00 0a 00");
        payload.push_back(static_cast<uint8_t>(byte(rng)));
        payload.push_back(0x01);
        payload.push_back(static_cast<uint8_t>(k < 5 ? 0x01 : 0x02));
        const uint8_t areas[] = {0x30, 0x31, 0x32, 0x33, 0x02, 0xB0, 0xB1,
                                 0xB2, 0xB3, 0x82, 0x09, 0x89, 0x55};
        payload.push_back(areas[byte(rng) % sizeof areas]);
        for (int i = 0; i < 5 + small(rng) % 8; ++i)
            payload.push_back(static_cast<uint8_t>(i == 3 ? small(rng) % 3 : byte(rng) % 4));
        Bytes frame = tcpFrame(k == 9 ? byte(rng) % 4 : 2, payload);
        if (small(rng) == 0) frame[byte(rng) % frame.size()] ^= 0xFF; // rare damage
        s = concat(s, frame);
    }
    return s;
}

struct StreamResult {
    std::vector<std::string> replies;
    bool finished = false;
};

template <typename Make>
StreamResult feedInChunks(const Bytes& stream, std::mt19937& rng, Make make, size_t maxChunk = 40) {
    PlcMemory memory;
    auto session = make(memory);
    std::vector<SessionOutput> out;
    std::uniform_int_distribution<size_t> chunk(1, std::max<size_t>(1, maxChunk));
    for (size_t pos = 0; pos < stream.size();) {
        const size_t n = std::min(chunk(rng), stream.size() - pos);
        session->feed(stream.data() + pos, n, &out);
        pos += n;
    }
    StreamResult r;
    for (const auto& o : out)
        r.replies.push_back(toHex(o.reply));
    r.finished = session->finished();
    return r;
}

TEST(RandomStreams, FinsRepliesAreWellFormedAndCutIndependent) {
    std::mt19937 rng(12345);
    auto make = [](PlcMemory& m) { return std::make_unique<FinsSession>(m, 1, 0xFB); };
    for (int i = 0; i < 400; ++i) {
        const Bytes stream = randomFinsStream(rng);
        const StreamResult whole = feedInChunks(stream, rng, make, stream.size());
        const StreamResult cut = feedInChunks(stream, rng, make);
        ASSERT_EQ(whole.replies, cut.replies) << toHex(stream);
        ASSERT_EQ(whole.finished, cut.finished);
        for (const std::string& hex : whole.replies) {
            const Bytes r = fromHex(hex);
            ASSERT_GE(r.size(), 16u);
            EXPECT_EQ(hex.substr(0, 8), "46494e53");
            const uint32_t length = (uint32_t(r[4]) << 24) | (r[5] << 16) | (r[6] << 8) | r[7];
            EXPECT_EQ(length + 8, r.size());
            EXPECT_LE(r.size(), 16u + 1016u);
        }
    }
}

TEST(RandomStreams, ArbitraryBytesNeverCrashTheSessions) {
    std::mt19937 rng(777);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<size_t> size(0, 600);
    for (int i = 0; i < 300; ++i) {
        Bytes stream(size(rng));
        for (auto& b : stream)
            b = static_cast<uint8_t>(byte(rng));
        if (i % 2) std::copy_n("FINS", std::min<size_t>(4, stream.size()), stream.begin());
        const StreamResult fins = feedInChunks(
            stream, rng, [](PlcMemory& m) { return std::make_unique<FinsSession>(m, 1, 0xFB); });
        EXPECT_LE(fins.replies.size(), stream.size() / 16 + 1);
        const StreamResult remote1 = feedInChunks(
            stream, rng, [](PlcMemory& m) { return std::make_unique<RemoteSession>(m); });
        const StreamResult remote2 = feedInChunks(
            stream, rng, [](PlcMemory& m) { return std::make_unique<RemoteSession>(m); });
        EXPECT_EQ(remote1.replies, remote2.replies);
        for (const std::string& hex : remote1.replies) {
            const Bytes r = fromHex(hex);
            ASSERT_GE(r.size(), 27u);
            const size_t dataSize = (size_t(r[18]) << 8) | r[19];
            EXPECT_EQ(r.size(), 27u + dataSize);
            EXPECT_EQ(r[0], static_cast<uint8_t>(r.size()));
        }
    }
}

} // namespace
