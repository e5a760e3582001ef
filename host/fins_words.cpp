#include "fins_words.h"

#include <cstdio>

namespace fhost {

namespace {

struct CodeText {
    uint32_t code;
    const char* text;
};

const CodeText kTcpErrors[] = {
    {0x01, "the header is not 'FINS'"},
    {0x02, "the data length is too long"},
    {0x03, "command not supported (no node address exchange on this connection?)"},
    {0x20, "all connections are in use"},
    {0x21, "the node is already connected"},
    {0x22, "the client's IP address is not allowed"},
    {0x23, "the client's FINS node address is out of range"},
    {0x24, "node in use: --hmi-ip proposes the PLC's own node"},
    {0x25, "no node address left to assign"},
};

const CodeText kEndCodes[] = {
    {0x0401, "undefined command"},          {0x1001, "command too long"},
    {0x1002, "command too short"},          {0x1003, "number of elements and data do not match"},
    {0x1005, "command header error"},       {0x1101, "unknown memory area"},
    {0x1103, "start address out of range"}, {0x1104, "end address out of range"},
    {0x110B, "response too long"},          {0x2101, "read-only area"},
};

template <size_t N> const char* lookup(const CodeText (&table)[N], uint32_t code) {
    for (const CodeText& c : table)
        if (c.code == code) return c.text;
    return nullptr;
}

std::string hex(uint32_t code, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, code);
    return buf;
}

} // namespace

std::string finsTcpErrorText(uint32_t code) {
    const char* meaning = lookup(kTcpErrors, code);
    return "FINS/TCP error " + hex(code, 2) + (meaning ? std::string(" (") + meaning + ")" : "");
}

uint16_t maskedEndCode(uint16_t code) {
    return code & 0x7F3F;
}

std::string endCodeText(uint16_t code) {
    const char* meaning = lookup(kEndCodes, code);
    return "end code " + hex(code, 4) + (meaning ? std::string(" (") + meaning + ")" : "");
}

std::string resultText(int result) {
    const bool remote = result >= 110;
    const int family = (remote ? result - 100 : result) / 30;
    const char* what = family == 0   ? "error code in the reply"
                       : family == 1 ? "no reply"
                       : family == 2 ? "reply of the wrong length"
                                     : "result";
    return std::string(remote ? "remote area: " : "") + what + " (result " +
           std::to_string(result) + ")";
}

} // namespace fhost
