// Tag values between the host's text and the driver's host-order buffers:
// one byte (0 or 1) per bit or flag, two bytes per word, low byte first.
#ifndef FINS_HOST_TAG_VALUES_H
#define FINS_HOST_TAG_VALUES_H

#include <QByteArray>

#include <string>
#include <vector>

#include "tag_file.h"

namespace fhost {

// "1234", "0x04D2", "-1" or "1,2,3" for consecutive elements of the tag, at most
// the tag's length of them; bits and flags take 0 or 1, words -32768..65535.
bool parseWriteValues(const Tag& tag, const std::string& text, QByteArray* buffer, int* count,
                      std::string* error);

// The elements of a buffer filled by the driver for `count` elements of the tag.
std::vector<int> decodeValues(const Tag& tag, const QByteArray& buffer, int count);

// Words as "1234 (0x04D2)", bits and flags as 0/1; at most `max_shown` elements.
std::string formatValues(const Tag& tag, const std::vector<int>& values, size_t max_shown);

} // namespace fhost

#endif
