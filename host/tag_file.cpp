#include "tag_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

namespace fhost {

namespace {

const size_t kMaxNameLength = 64;
const std::string UTF8_BOM = "\xEF\xBB\xBF";
const int kMaxDigits = 9; // keeps every number well inside int

std::vector<std::string> splitFields(const std::string& line) {
    std::string body = line.substr(0, line.find('#'));
    std::istringstream in(body);
    std::vector<std::string> fields;
    std::string field;
    while (in >> field)
        fields.push_back(field);
    return fields;
}

bool isDigits(const std::string& text) {
    if (text.empty() || text.size() > static_cast<size_t>(kMaxDigits)) return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
}

bool isValidName(const std::string& name) {
    if (name.empty()) return false;
    unsigned char first = static_cast<unsigned char>(name[0]);
    if (!std::isalpha(first) && first != '_') return false;
    for (char c : name) {
        unsigned char u = static_cast<unsigned char>(c);
        if (!std::isalnum(u) && c != '_' && c != '.' && c != '-') return false;
    }
    return true;
}

// A mnemonic (any case) or a register-type code 0..13.
const fins::RegType* regTypeByName(const std::string& text) {
    const bool code = !text.empty() && text.size() <= 2 && isDigits(text);
    return code ? fins::regType(std::stoi(text))
                : fins::regTypeByMnemonic(QByteArray::fromStdString(text));
}

std::string rangeText(const fins::RegType& type) {
    return std::string(fins::mnemonicOf(type.code)) + " (0-" +
           std::to_string(fins::cp1lAreaSize(type.code) - 1) + ")";
}

// Start of the tag in elements of its unit (bits for bit types), or -1 with a reason.
long long parseStart(const fins::RegType& type, const std::string& text, std::string* reason) {
    if (type.unit == fins::Unit::Bit) {
        size_t dot = text.find('.');
        if (dot == std::string::npos) {
            *reason = "bit address '" + text + "' needs word.bit, e.g. 10.03";
            return -1;
        }
        std::string word = text.substr(0, dot), bit = text.substr(dot + 1);
        if (!isDigits(word) || !isDigits(bit) || bit.size() > 2) {
            *reason = "bad bit address '" + text + "': expected word.bit, e.g. 10.03";
            return -1;
        }
        long long w = std::stoll(word), b = std::stoll(bit);
        if (b > 15) {
            *reason = "bit number " + bit + " in '" + text + "' must be 0-15";
            return -1;
        }
        if (w >= fins::cp1lAreaSize(type.code)) {
            *reason = "address " + text + " is outside " + rangeText(type);
            return -1;
        }
        return w * 16 + b;
    }
    if (!isDigits(text)) {
        *reason = "bad address '" + text + "': expected a plain number";
        return -1;
    }
    long long a = std::stoll(text);
    if (a >= fins::cp1lAreaSize(type.code)) {
        *reason = "address " + text + " is outside " + rangeText(type);
        return -1;
    }
    return a;
}

// The data type after the register type ("D:REAL"): any but BOOL for words, only BOOL
// for bits and flags. Without one, words are UINT and bits BOOL.
bool parseDataType(const fins::RegType& type, const std::string* text, plcvalues::ValueType* out,
                   std::string* reason) {
    const bool words = type.unit == fins::Unit::Word;
    plcvalues::ValueType v;
    v.type = words ? plcvalues::DataType::Uint : plcvalues::DataType::Bool;
    if (text && !plcvalues::parseValueType(*text, &v, reason)) return false;
    if (words == (v.type == plcvalues::DataType::Bool)) {
        *reason =
            std::string(fins::mnemonicOf(type.code)) +
            (words ? " holds words: BOOL is for bit and flag tags" : " holds bits: only BOOL");
        return false;
    }
    *out = v;
    return true;
}

// The length counts values; the driver's elements (values times their words) must fit.
bool parseLength(const fins::RegType& type, const plcvalues::ValueType& value,
                 const std::string& text, long long start, Tag* tag, std::string* reason) {
    if (!isDigits(text) || std::stoll(text) < 1) {
        *reason = "length '" + text + "' must be a whole number of at least 1";
        return false;
    }
    const long long n = std::stoll(text);
    const long long per_value = std::max(1, plcvalues::wordsPerValue(value));
    const long long area = fins::cp1lAreaSize(type.code);
    const long long capacity = type.unit == fins::Unit::Bit ? 16LL * area : area;
    if (start + n * per_value > capacity) {
        const std::string span = per_value > 1 ? " of " + plcvalues::valueTypeName(value) + " (" +
                                                     std::to_string(n * per_value) + " words)"
                                               : "";
        *reason = "length " + text + span + " runs past the end of " + rangeText(type);
        return false;
    }
    tag->values = static_cast<int>(n);
    tag->length = static_cast<int>(n * per_value);
    return true;
}

bool parseStation(const std::string& text, int* station, std::string* reason) {
    if (!isDigits(text) || std::stoll(text) > MAX_STATION) {
        *reason = "station '" + text + "' must be 0-" + std::to_string(MAX_STATION);
        return false;
    }
    *station = static_cast<int>(std::stoll(text));
    return true;
}

} // namespace

const Tag* findTag(const std::vector<Tag>& tags, const std::string& name) {
    for (const Tag& t : tags)
        if (t.name == name) return &t;
    return nullptr;
}

LineKind parseTagLine(const std::string& line, Tag* tag, std::string* reason) {
    std::vector<std::string> f = splitFields(line);
    if (f.empty()) return LineKind::Blank;
    if (f[0].size() > kMaxNameLength) {
        *reason = "name '" + f[0].substr(0, 16) + "...' is " + std::to_string(f[0].size()) +
                  " characters long; at most " + std::to_string(kMaxNameLength);
        return LineKind::Error;
    }
    if (!isValidName(f[0])) {
        *reason = "bad name '" + f[0] + "': letters, digits, _ . - (a letter or _ first)";
        return LineKind::Error;
    }
    if (f.size() < 3) {
        *reason = f.size() < 2 ? "missing register type and address" : "missing address";
        return LineKind::Error;
    }
    if (f.size() > 5) {
        *reason = "too many fields: name type address [length] [station]";
        return LineKind::Error;
    }
    const size_t colon = f[1].find(':');
    const std::string area = f[1].substr(0, colon);
    const fins::RegType* type = regTypeByName(area);
    if (!type) {
        *reason = "unknown register type '" + area + "'";
        return LineKind::Error;
    }
    Tag t;
    const std::string data_type = colon == std::string::npos ? "" : f[1].substr(colon + 1);
    t.typed = colon != std::string::npos;
    if (!parseDataType(*type, t.typed ? &data_type : nullptr, &t.value_type, reason))
        return LineKind::Error;
    long long start = parseStart(*type, f[2], reason);
    if (start < 0) return LineKind::Error;
    t.name = f[0];
    t.reg_type = type->code;
    t.addr_text = f[2];
    t.start = static_cast<int>(start);
    const std::string length_text = f.size() >= 4 ? f[3] : "1";
    if (!parseLength(*type, t.value_type, length_text, start, &t, reason)) return LineKind::Error;
    if (f.size() == 5 && !parseStation(f[4], &t.station, reason)) return LineKind::Error;
    *tag = t;
    return LineKind::Tag;
}

TagFile parseTagText(const std::string& text) {
    TagFile out;
    std::map<std::string, int> first_line;
    const bool bom = text.compare(0, UTF8_BOM.size(), UTF8_BOM) == 0;
    std::istringstream in(bom ? text.substr(UTF8_BOM.size()) : text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        Tag tag;
        std::string reason;
        LineKind kind = parseTagLine(line, &tag, &reason);
        if (kind == LineKind::Blank) continue;
        if (kind == LineKind::Error) {
            out.errors.push_back({number, reason});
            continue;
        }
        auto seen = first_line.find(tag.name);
        if (seen != first_line.end()) {
            out.errors.push_back({number, "duplicate name '" + tag.name + "' (first on line " +
                                              std::to_string(seen->second) + ")"});
            continue;
        }
        first_line[tag.name] = number;
        tag.line = number;
        out.tags.push_back(tag);
    }
    if (out.tags.empty() && out.errors.empty()) out.errors.push_back({0, "no tag in the file"});
    return out;
}

TagFile loadTagFile(const std::string& path) {
    errno = 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        TagFile out;
        out.errors.push_back({0, errno ? std::strerror(errno) : "cannot be read"});
        return out;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseTagText(text.str());
}

std::string describe(const TagError& error) {
    if (error.line == 0) return error.reason;
    return "line " + std::to_string(error.line) + ": " + error.reason;
}

} // namespace fhost
