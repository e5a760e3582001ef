// Hex, FINS/TCP frame and memory helpers shared by the simulator tests.
#ifndef PLCSIM_SIM_TEST_UTIL_H
#define PLCSIM_SIM_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

#include "plcsim/memory_script.h"
#include "plcsim/session.h"

namespace plcsim_test {

using Bytes = std::vector<uint8_t>;

// "46 49 4e53" -> bytes; anything but hex digits is ignored.
inline Bytes fromHex(const std::string& text) {
    std::string d;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c))) d += c;
    Bytes out;
    for (size_t i = 0; i + 1 < d.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(d.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::string toHex(const Bytes& bytes) {
    std::string s;
    for (uint8_t b : bytes)
        s += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
    return s;
}

inline std::string normHex(const std::string& text) {
    return toHex(fromHex(text));
}

// FINS/TCP frame: "FINS", length, command, error 0, then the payload.
inline Bytes tcpFrame(uint32_t command, const Bytes& payload) {
    Bytes out = fromHex("46494e53");
    for (uint32_t field : {uint32_t(8 + payload.size()), command, 0u})
        for (int shift = 24; shift >= 0; shift -= 8)
            out.push_back(static_cast<uint8_t>(field >> shift));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

inline Bytes nodeRequest(uint8_t proposed) {
    return tcpFrame(0, {0, 0, 0, proposed});
}

// Feeds `stream`; every reply, concatenated, as hex.
inline std::string replies(plcsim::Session& session, const Bytes& stream, bool* closes = nullptr) {
    std::vector<plcsim::SessionOutput> out;
    session.feed(stream.data(), stream.size(), &out);
    std::string all;
    for (const auto& o : out) {
        all += toHex(o.reply);
        if (closes) *closes = *closes || o.closeAfter;
    }
    return all;
}

// "D1001 = 0x5678", "D310 = 0, 0x41BC" or "CIO10.03 = 1" holds in memory.
inline void expectMemory(const plcsim::PlcMemory& memory, const char* check) {
    plcsim::MemoryAssignment a;
    ASSERT_TRUE(plcsim::parseAssignment(check, &a, nullptr)) << check;
    for (size_t i = 0; i < a.words.size(); ++i)
        EXPECT_EQ(a.bit >= 0 ? memory.bit(a.area, a.address, a.bit)
                             : memory.word(a.area, a.address + static_cast<uint32_t>(i)),
                  a.words[i])
            << check;
}

} // namespace plcsim_test

#endif
