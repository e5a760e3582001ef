#include "tag_values.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace fhost {

namespace {

bool isWordTag(const Tag& tag) {
    return tagType(tag).unit == fins::Unit::Word;
}

// A word tag without a data type takes what it took before types: -32768..65535 or hex.
bool encodeUntypedWord(const Tag& tag, const std::string& text, std::vector<uint16_t>* words,
                       std::string* error) {
    const size_t at = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    const bool hex = text.size() > at + 2 && text[at] == '0' && (text[at + 1] | 0x20) == 'x';
    char* end = nullptr;
    errno = 0;
    const long v = text.empty() ? 0 : std::strtol(text.c_str(), &end, hex ? 16 : 10);
    if (text.empty() || errno || end == text.c_str() || *end != '\0' || v < -32768 || v > 65535) {
        *error =
            "bad value '" + text + "' for '" + tag.name + "': a number -32768..65535 (or 0x hex)";
        return false;
    }
    words->push_back(static_cast<uint16_t>(v));
    return true;
}

} // namespace

bool parseWriteValues(const Tag& tag, const std::string& text, QByteArray* buffer, int* count,
                      std::string* error) {
    const std::vector<std::string> parts = plcvalues::splitValueList(text);
    if (parts.empty() || parts.size() > static_cast<size_t>(tag.values)) {
        *error = "'" + tag.name + "' takes 1 to " + std::to_string(tag.values) +
                 " value(s), got '" + text + "'";
        return false;
    }
    const bool word_tag = isWordTag(tag);
    std::vector<uint16_t> words; // one a value for bits and flags (BOOL)
    for (const std::string& p : parts) {
        if (word_tag && !tag.typed) {
            if (!encodeUntypedWord(tag, p, &words, error)) return false;
            continue;
        }
        std::string why;
        if (!plcvalues::encodeValue(tag.value_type, p, &words, &why)) {
            *error = "bad value for '" + tag.name + "': " + why;
            return false;
        }
    }
    buffer->clear();
    for (uint16_t w : words)
        if (word_tag)
            fins::appendHostWord(*buffer, w);
        else
            buffer->append(static_cast<char>(w));
    *count = static_cast<int>(words.size());
    return true;
}

std::vector<plcvalues::Value> typedValues(const Tag& tag, const std::vector<int>& elements) {
    const size_t per_value = std::max(1, plcvalues::wordsPerValue(tag.value_type));
    std::vector<plcvalues::Value> out;
    std::vector<uint16_t> words(per_value);
    for (size_t first = 0; first + per_value <= elements.size(); first += per_value) {
        for (size_t i = 0; i < per_value; ++i)
            words[i] = static_cast<uint16_t>(elements[first + i]);
        out.push_back(plcvalues::decodeValue(tag.value_type, words.data()));
    }
    return out;
}

std::string valueAddressText(const Tag& tag, int k) {
    if (tagType(tag).unit == fins::Unit::Bit) {
        const size_t dot = tag.addr_text.find('.');
        const long long bit = std::stoll(tag.addr_text.substr(0, dot)) * 16 +
                              std::stoll(tag.addr_text.substr(dot + 1)) + k;
        char text[32];
        std::snprintf(text, sizeof text, "%lld.%02lld", bit / 16, bit % 16);
        return text;
    }
    const long long per_value = std::max(1, plcvalues::wordsPerValue(tag.value_type));
    return std::to_string(std::stoll(tag.addr_text) + k * per_value);
}

std::string formatTypedValues(const Tag& tag, const std::vector<plcvalues::Value>& values,
                              size_t max_shown) {
    const bool words = isWordTag(tag);
    std::string out;
    for (size_t i = 0; i < values.size() && i < max_shown; ++i) {
        const plcvalues::Value& v = values[i];
        if (i) out += words ? "  " : " ";
        if (words && !tag.typed) {
            char buf[32];
            const int w = static_cast<int>(v.number);
            std::snprintf(buf, sizeof buf, "%d (0x%04X)", w, w & 0xFFFF);
            out += buf;
        } else if (v.kind == plcvalues::Value::Text) {
            out += '"';
            for (char c : v.text)
                out += c == '"' || c == '\\' ? std::string("\\") + c : std::string(1, c);
            out += '"';
        } else {
            out += v.text;
        }
    }
    if (values.size() > max_shown)
        out += " ... (" + std::to_string(values.size() - max_shown) + " more)";
    return out;
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

} // namespace fhost
