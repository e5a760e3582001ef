#include "fins_words.h"

#include <cstdio>

#include "fins_peer.h"
#include "omron_fins_results.h"

namespace fhost {

namespace {

// The host's own words for FINS/TCP errors a wrong option causes: what to change.
struct Hint {
    uint32_t code;
    const char* text;
};
const Hint kTcpErrorHints[] = {
    {0x20, "all FINS/TCP connections of the PLC are in use"},
    {0x03, "command not supported (no node address exchange on this connection?)"},
    {0x24, "node in use: --hmi-ip proposes the PLC's own node"},
};

// An end code without the relay error bit (15) and the CPU error flags (bits 6 and 7),
// which report the PLC's state rather than the command's outcome.
const uint16_t kEndCodeOutcomeBits = 0x7F3F;

std::string hex(uint32_t code, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%0*X", digits, code);
    return buf;
}

} // namespace

std::string finsTcpErrorText(uint32_t code) {
    const char* meaning = fins::tcpErrorText(code);
    for (const Hint& h : kTcpErrorHints)
        if (h.code == code) meaning = h.text;
    return "FINS/TCP error " + hex(code, 2) + " (" + std::string(meaning) + ")";
}

uint16_t maskedEndCode(uint16_t code) {
    return code & kEndCodeOutcomeBits;
}

std::string plcStateText(uint16_t code) {
    const char* what = (code & 0x0080)   ? "a fatal CPU error"
                       : (code & 0x0040) ? "a non-fatal CPU error"
                       : (code & 0x8000) ? "a relay error"
                                         : nullptr;
    return what ? "the PLC reports " + std::string(what) + " (end code " + hex(code, 4) + ")"
                : std::string();
}

std::string endCodeText(uint16_t code) {
    return "end code " + hex(code, 4) + " (" + fins::endCodeText(code) + ")";
}

std::string resultText(int result) {
    const int family = fins::familyOf(result);
    const char* what = family == fins::FAMILY_REFUSED        ? "error code in the reply"
                       : family == fins::FAMILY_NO_REPLY     ? "no reply"
                       : family == fins::FAMILY_WRONG_LENGTH ? "reply of the wrong length"
                                                             : "result";
    return std::string(fins::isRemoteArea(result) ? "remote area: " : "") + what + " (result " +
           std::to_string(result) + ")";
}

} // namespace fhost
