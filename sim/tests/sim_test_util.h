// Hex helpers and small frame builders shared by the simulator tests.
#ifndef PLCSIM_SIM_TEST_UTIL_H
#define PLCSIM_SIM_TEST_UTIL_H

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace plcsim_test {

using Bytes = std::vector<uint8_t>;

// "46 49 4e53" -> bytes; spaces are ignored.
inline Bytes fromHex(const std::string& text) {
    Bytes out;
    std::string digits;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

inline std::string toHex(const Bytes& bytes) {
    std::string s;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        s += buf;
    }
    return s;
}

inline std::string normHex(const std::string& text) {
    return toHex(fromHex(text));
}

inline Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// FINS/TCP frame: header with the given command and length, then the payload.
inline Bytes tcpFrame(uint32_t command, const Bytes& payload) {
    Bytes out = fromHex("46494e53");
    const uint32_t length = static_cast<uint32_t>(8 + payload.size());
    for (int i = 3; i >= 0; --i)
        out.push_back(static_cast<uint8_t>(length >> (8 * i)));
    for (int i = 3; i >= 0; --i)
        out.push_back(static_cast<uint8_t>(command >> (8 * i)));
    out.insert(out.end(), 4, 0);
    return concat(out, payload);
}

inline Bytes nodeRequest(uint8_t proposed) {
    return tcpFrame(0, {0, 0, 0, proposed});
}

} // namespace plcsim_test

#endif
