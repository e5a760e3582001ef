#include "plc_values.h"

#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>

namespace plcvalues {

namespace {

enum class Family { Boolean, Signed, Unsigned, Float, Bcd, Text };

// The one table of data types: name, words per value, how the bits are read.
struct TypeRow {
    DataType type;
    const char* name;
    int words;
    Family family;
    const char* range; // what a value may be, for refusals
};

const TypeRow kTypes[] = {
    {DataType::Bool, "BOOL", 0, Family::Boolean, "0 or 1"},
    {DataType::Int, "INT", 1, Family::Signed, "-32768 to 32767"},
    {DataType::Uint, "UINT", 1, Family::Unsigned, "0 to 65535"},
    {DataType::Dint, "DINT", 2, Family::Signed, "-2147483648 to 2147483647"},
    {DataType::Udint, "UDINT", 2, Family::Unsigned, "0 to 4294967295"},
    {DataType::Lint, "LINT", 4, Family::Signed, "-9223372036854775808 to 9223372036854775807"},
    {DataType::Ulint, "ULINT", 4, Family::Unsigned, "0 to 18446744073709551615"},
    {DataType::Real, "REAL", 2, Family::Float, "a number within +-3.4e38, NaN or inf"},
    {DataType::Lreal, "LREAL", 4, Family::Float, "a number, NaN or inf"},
    {DataType::Bcd, "BCD", 1, Family::Bcd, "0 to 9999"},
    {DataType::Lbcd, "LBCD", 2, Family::Bcd, "0 to 99999999"},
    {DataType::String, "STRING", 0, Family::Text, "a text"},
};

const int kMaxTextBytes = 65536; // the whole D area

const TypeRow& rowOf(DataType type) {
    for (const TypeRow& r : kTypes)
        if (r.type == type) return r;
    return kTypes[2]; // not reached: every DataType has a row
}

std::string upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string trim(const std::string& s) {
    const size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return std::string();
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

uint64_t widthMask(int words) {
    return words >= 4 ? ~0ULL : (1ULL << (16 * words)) - 1;
}

// The words of one value as one number, the lowest word at the lowest address unless
// the order is swapped.
uint64_t rawOf(const ValueType& type, const uint16_t* words, int n) {
    uint64_t raw = 0;
    for (int i = 0; i < n; ++i)
        raw = raw << 16 | words[type.swapped ? i : n - 1 - i];
    return raw;
}

void appendRaw(const ValueType& type, uint64_t raw, int n, std::vector<uint16_t>* words) {
    const size_t first = words->size();
    words->resize(first + n);
    for (int i = 0; i < n; ++i)
        (*words)[first + (type.swapped ? n - 1 - i : i)] = static_cast<uint16_t>(raw >> (16 * i));
}

std::string hexText(uint64_t raw, int digits) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (int i = digits - 1; i >= 0; --i)
        out += kHex[(raw >> (4 * i)) & 0xF];
    return out;
}

// Shortest text that reads back as the same float or double.
template <typename F> std::string floatText(F v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-inf" : "inf";
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

// "123", "+123", "-123" or "0x7B"; the magnitude and sign, or false.
bool parseInteger(const std::string& s, bool* negative, uint64_t* magnitude, bool* hex) {
    *hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
    const size_t start = *hex ? 2 : (s.size() > 1 && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
    *negative = !*hex && s[0] == '-';
    const int base = *hex ? 16 : 10;
    if (start >= s.size()) return false;
    const auto r = std::from_chars(s.data() + start, s.data() + s.size(), *magnitude, base);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool refuse(const TypeRow& row, const ValueType& type, const std::string& text,
            std::string* error) {
    std::string range = row.range;
    if (row.family == Family::Signed || row.family == Family::Unsigned)
        range += " or 0x hex up to " + hexText(widthMask(row.words), 4 * row.words);
    *error = valueTypeName(type) + " takes " + range + ", got '" + text + "'";
    return false;
}

bool encodeInteger(const TypeRow& row, const ValueType& type, const std::string& text,
                   std::vector<uint16_t>* words, std::string* error) {
    bool negative = false, hex = false;
    uint64_t m = 0;
    if (!parseInteger(text, &negative, &m, &hex)) return refuse(row, type, text, error);
    const uint64_t mask = widthMask(row.words);
    uint64_t raw = m;
    if (hex) {
        if (m > mask) return refuse(row, type, text, error);
    } else if (row.family == Family::Unsigned) {
        if ((negative && m != 0) || m > mask) return refuse(row, type, text, error);
    } else {
        const uint64_t half = mask / 2 + 1; // 2^(bits-1)
        if (negative ? m > half : m >= half) return refuse(row, type, text, error);
        raw = (negative ? 0 - m : m) & mask;
    }
    appendRaw(type, raw, row.words, words);
    return true;
}

bool encodeBcd(const TypeRow& row, const ValueType& type, const std::string& text,
               std::vector<uint16_t>* words, std::string* error) {
    const uint64_t limit = row.words == 1 ? 9999 : 99999999;
    uint64_t v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v, 10);
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) || r.ec != std::errc() ||
        r.ptr != text.data() + text.size() || v > limit)
        return refuse(row, type, text, error);
    uint64_t raw = 0;
    for (int shift = 0; v; v /= 10, shift += 4)
        raw |= (v % 10) << shift;
    appendRaw(type, raw, row.words, words);
    return true;
}

bool encodeFloat(const TypeRow& row, const ValueType& type, const std::string& text,
                 std::vector<uint16_t>* words, std::string* error) {
    // from_chars reads no leading '+' and never depends on the locale (Qt sets it).
    const size_t start = text.size() > 1 && text[0] == '+' && text[1] != '-' ? 1 : 0;
    double v = 0;
    const auto r = std::from_chars(text.data() + start, text.data() + text.size(), v);
    if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size())
        return refuse(row, type, text, error);
    uint64_t raw = 0;
    if (row.type == DataType::Real) {
        if (std::isfinite(v) && std::fabs(v) > FLT_MAX) return refuse(row, type, text, error);
        const float f = static_cast<float>(v);
        uint32_t bits = 0;
        std::memcpy(&bits, &f, sizeof bits);
        raw = bits;
    } else {
        std::memcpy(&raw, &v, sizeof raw);
    }
    appendRaw(type, raw, row.words, words);
    return true;
}

// A text in double quotes loses them and its escapes (\" and \\); any other is as given.
std::string unquoted(const std::string& text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') return text;
    std::string out;
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] == '\\' && i + 2 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

bool encodeText(const ValueType& type, const std::string& text, std::vector<uint16_t>* words,
                std::string* error) {
    const std::string bytes = unquoted(text);
    if (bytes.size() > static_cast<size_t>(type.text_bytes)) {
        *error = "'" + bytes + "' is " + std::to_string(bytes.size()) + " bytes, " +
                 valueTypeName(type) + " holds " + std::to_string(type.text_bytes);
        return false;
    }
    for (int i = 0; i < wordsPerValue(type); ++i) {
        auto at = [&](size_t k) {
            return k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : 0u;
        };
        words->push_back(static_cast<uint16_t>(at(2 * i) << 8 | at(2 * i + 1)));
    }
    return true;
}

bool parseTextSize(const std::string& digits, int* bytes) {
    int n = 0;
    const auto r = std::from_chars(digits.data(), digits.data() + digits.size(), n, 10);
    if (digits.empty() || r.ec != std::errc() || r.ptr != digits.data() + digits.size() ||
        !std::isdigit(static_cast<unsigned char>(digits[0])) || n < 1 || n > kMaxTextBytes)
        return false;
    *bytes = n;
    return true;
}

} // namespace

bool parseValueType(const std::string& text, ValueType* out, std::string* error) {
    const std::string u = upper(text);
    const size_t colon = u.find(':');
    const std::string name = u.substr(0, colon);
    ValueType t;
    bool known = false;
    if (name.compare(0, 6, "STRING") == 0) {
        if (!parseTextSize(name.substr(6), &t.text_bytes)) {
            *error = "STRING needs its size in bytes, 1 to " + std::to_string(kMaxTextBytes) +
                     ", e.g. STRING12";
            return false;
        }
        t.type = DataType::String;
        known = true;
    }
    for (const TypeRow& r : kTypes)
        if (!known && r.type != DataType::String && name == r.name) {
            t.type = r.type;
            known = true;
        }
    if (!known) {
        *error = "unknown data type '" + text.substr(0, colon) +
                 "' (BOOL INT UINT DINT UDINT LINT ULINT REAL LREAL BCD LBCD STRINGn)";
        return false;
    }
    if (colon != std::string::npos) {
        if (u.substr(colon + 1) != "SWAP") {
            *error = "unknown option '" + text.substr(colon) + "' after the data type (only :swap)";
            return false;
        }
        if (wordsPerValue(t) < 2 || t.type == DataType::String) {
            *error =
                ":swap needs a type of two or more words, not " + std::string(rowOf(t.type).name);
            return false;
        }
        t.swapped = true;
    }
    *out = t;
    return true;
}

std::string valueTypeName(const ValueType& type) {
    std::string name = rowOf(type.type).name;
    if (type.type == DataType::String) name += std::to_string(type.text_bytes);
    return type.swapped ? name + ":swap" : name;
}

int wordsPerValue(const ValueType& type) {
    return type.type == DataType::String ? (type.text_bytes + 1) / 2 : rowOf(type.type).words;
}

Value decodeValue(const ValueType& type, const uint16_t* words) {
    const TypeRow& row = rowOf(type.type);
    const int n = wordsPerValue(type);
    Value v;
    if (row.family == Family::Boolean) {
        v.number = words[0] != 0;
        v.text = words[0] ? "1" : "0";
        return v;
    }
    if (row.family == Family::Text) {
        v.kind = Value::Text;
        for (int i = 0; i < 2 * n && i < type.text_bytes; ++i) {
            const char c = static_cast<char>(i % 2 ? words[i / 2] & 0xFF : words[i / 2] >> 8);
            if (c == '\0') break; // the padding, or the end of a shorter text
            v.text += c;
        }
        return v;
    }
    const uint64_t raw = rawOf(type, words, n);
    switch (row.family) {
    case Family::Signed: {
        const uint64_t mask = widthMask(n), sign = mask / 2 + 1;
        const int64_t s =
            (raw & sign) ? -static_cast<int64_t>((~raw & mask)) - 1 : static_cast<int64_t>(raw);
        v.number = static_cast<double>(s);
        v.text = std::to_string(s);
        break;
    }
    case Family::Float:
        if (n == 2) {
            const uint32_t bits = static_cast<uint32_t>(raw);
            float f = 0;
            std::memcpy(&f, &bits, sizeof f);
            v.number = f;
            v.text = floatText(f);
        } else {
            double d = 0;
            std::memcpy(&d, &raw, sizeof d);
            v.number = d;
            v.text = floatText(d);
        }
        break;
    case Family::Bcd: {
        uint64_t digits = 0;
        for (int shift = 4 * 4 * n - 4; shift >= 0; shift -= 4) {
            const uint64_t nibble = (raw >> shift) & 0xF;
            if (nibble > 9) {
                v.kind = Value::Invalid;
                v.text = "invalid BCD " + hexText(raw, 4 * n);
                return v;
            }
            digits = digits * 10 + nibble;
        }
        v.number = static_cast<double>(digits);
        v.text = std::to_string(digits);
        break;
    }
    default: // unsigned
        v.number = static_cast<double>(raw);
        v.text = std::to_string(raw);
    }
    return v;
}

bool encodeValue(const ValueType& type, const std::string& text, std::vector<uint16_t>* words,
                 std::string* error) {
    const TypeRow& row = rowOf(type.type);
    switch (row.family) {
    case Family::Text:
        return encodeText(type, text, words, error);
    case Family::Float:
        return encodeFloat(row, type, text, words, error);
    case Family::Bcd:
        return encodeBcd(row, type, text, words, error);
    case Family::Boolean:
        if (text != "0" && text != "1") return refuse(row, type, text, error);
        words->push_back(text == "1");
        return true;
    default:
        return encodeInteger(row, type, text, words, error);
    }
}

std::vector<std::string> splitValueList(const std::string& text) {
    std::vector<std::string> parts;
    if (trim(text).empty()) return parts;
    std::string part;
    bool quoted = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ',' && !quoted) {
            parts.push_back(trim(part));
            part.clear();
            continue;
        }
        part += c;
        if (c == '"') quoted = !quoted;
        if (c == '\\' && quoted && i + 1 < text.size()) part += text[++i];
    }
    parts.push_back(trim(part));
    return parts;
}

} // namespace plcvalues
