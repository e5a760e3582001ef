#include "tag_values.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace fhost {

namespace {

bool isWordTag(const Tag& tag) {
    return tagType(tag).unit == fins::Unit::Word;
}

bool parseNumber(const std::string& text, long* out) {
    if (text.empty()) return false;
    const size_t at = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    const bool hex = text.size() > at + 2 && text[at] == '0' && (text[at + 1] | 0x20) == 'x';
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, hex ? 16 : 10);
    if (errno || end == text.c_str() || *end != '\0') return false;
    *out = v;
    return true;
}

std::vector<std::string> splitCommas(const std::string& text) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(text);
    while (std::getline(in, part, ','))
        parts.push_back(part);
    if (!text.empty() && text.back() == ',') parts.push_back("");
    return parts;
}

} // namespace

bool parseWriteValues(const Tag& tag, const std::string& text, QByteArray* buffer, int* count,
                      std::string* error) {
    std::vector<std::string> parts = splitCommas(text);
    if (parts.empty() || static_cast<long>(parts.size()) > tag.length) {
        *error = "'" + tag.name + "' takes 1 to " + std::to_string(tag.length) +
                 " value(s), got '" + text + "'";
        return false;
    }
    const bool words = isWordTag(tag);
    buffer->clear();
    for (const std::string& p : parts) {
        long v = 0;
        bool ok = parseNumber(p, &v) && (words ? (v >= -32768 && v <= 65535) : (v == 0 || v == 1));
        if (!ok) {
            *error = "bad value '" + p + "' for '" + tag.name +
                     "': " + (words ? "a number -32768..65535 (or 0x hex)" : "0 or 1");
            return false;
        }
        if (words)
            fins::appendHostWord(*buffer, static_cast<unsigned int>(v));
        else
            buffer->append(static_cast<char>(v));
    }
    *count = static_cast<int>(parts.size());
    return true;
}

std::vector<int> decodeValues(const Tag& tag, const QByteArray& buffer, int count) {
    std::vector<int> out;
    const bool words = isWordTag(tag);
    const fins::Reader bytes(buffer);
    for (int i = 0; i < count; ++i) {
        quint16 word = 0; // bytes the driver did not fill read 0
        quint8 byte = 0;
        out.push_back(words ? (fins::hostWordAt(buffer, i, word), word) : (bytes.u8At(i, byte), byte));
    }
    return out;
}

std::string formatValues(const Tag& tag, const std::vector<int>& values, size_t max_shown) {
    const bool words = isWordTag(tag);
    std::string out;
    for (size_t i = 0; i < values.size() && i < max_shown; ++i) {
        if (i) out += words ? "  " : " ";
        if (words) {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%d (0x%04X)", values[i], values[i] & 0xFFFF);
            out += buf;
        } else {
            out += std::to_string(values[i]);
        }
    }
    if (values.size() > max_shown)
        out += " ... (" + std::to_string(values.size() - max_shown) + " more)";
    return out;
}

} // namespace fhost
