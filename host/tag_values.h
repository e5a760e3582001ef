// Tag values between the host's text and the driver's host-order buffers:
// one byte (0 or 1) per bit or flag, two bytes per word, low byte first.
#ifndef FINS_HOST_TAG_VALUES_H
#define FINS_HOST_TAG_VALUES_H

#include <QByteArray>

#include <string>
#include <vector>

#include "tag_file.h"

namespace fhost {

// Values of the tag's data type ("1234", "0x04D2", "-1", "23.5", "\"PUMP 3\"") or
// "1,2,3" for consecutive values, at most the tag's count of them, each checked against
// its type's range; bits and flags take 0 or 1, words without a data type -32768..65535.
// `count` is in the driver's elements (words, bits or flags): a REAL is two words, a
// STRING n its n bytes, a shorter text padded with 0.
bool parseWriteValues(const Tag& tag, const std::string& text, QByteArray* buffer, int* count,
                      std::string* error);

// The tag's typed values from the elements the driver gave (decodeValues): one per value
// of its data type, as many as the elements hold in full.
std::vector<plcvalues::Value> typedValues(const Tag& tag, const std::vector<int>& elements);

// The elements of a buffer filled by the driver for `count` elements of the tag.
std::vector<int> decodeValues(const Tag& tag, const QByteArray& buffer, int count);

// Where the tag's value k (from 0) starts, as the tag file writes addresses: "1008" for
// the fifth REAL from D1000, "11.01" for the fourth bit from 10.14, "15" for a flag.
std::string valueAddressText(const Tag& tag, int k);

// Typed values for the screen, at most `max_shown`: "23.5  -1", "\"PUMP 3\"" (a text in
// quotes, as a write takes it), "invalid BCD 0x12A4", bits "1 0"; a word tag without a
// data type as "1234 (0x04D2)".
std::string formatTypedValues(const Tag& tag, const std::vector<plcvalues::Value>& values,
                              size_t max_shown);

} // namespace fhost

#endif
