// FINS codes and driver result codes in words, for the screen, notices and JSON.
#ifndef FINS_HOST_FINS_WORDS_H
#define FINS_HOST_FINS_WORDS_H

#include <cstdint>
#include <string>

namespace fhost {

// "FINS/TCP error 0x24 (node in use: --hmi-ip proposes the PLC's own node)"
std::string finsTcpErrorText(uint32_t code);
// "end code 0x2101 (read-only area)"; relay and CPU flag bits are left out first.
std::string endCodeText(uint16_t code);
uint16_t maskedEndCode(uint16_t code);
// What the PLC-state bits of an end code report, e.g. "the PLC reports a non-fatal CPU
// error (end code 0x0040)"; empty when none is set.
std::string plcStateText(uint16_t code);
// "no reply (result 42)" for a give-up result code of the driver.
std::string resultText(int result);

} // namespace fhost

#endif
