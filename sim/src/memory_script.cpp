#include "plcsim/memory_script.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "plc_values.h"

namespace plcsim {

namespace {

// Editors on Windows often start a UTF-8 text with this mark; it is no part of line 1.
const std::string UTF8_BOM = "\xEF\xBB\xBF";

// The whole file; false with errno set when it cannot be opened or read (a directory).
bool readWholeFile(const std::string& path, std::string* text) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        text->append(buf, n);
    const bool ok = !std::ferror(f);
    const int readErrno = errno;
    std::fclose(f);
    errno = readErrno;
    return ok;
}

std::string trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

std::string upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool parseUnsigned(const std::string& s, int base, uint64_t max, uint64_t* out) {
    if (s.empty() || !std::isalnum(static_cast<unsigned char>(s[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(s.c_str(), &end, base);
    if (errno != 0 || *end != '\0' || v > max) return false;
    *out = v;
    return true;
}

// "1234", "0x04D2", "-1" (stored as its 16-bit two's complement).
bool parseValue(const std::string& s, uint16_t* out) {
    uint64_t v = 0;
    if (!s.empty() && s[0] == '-') {
        if (!parseUnsigned(s.substr(1), 10, 32768, &v) || v == 0) return false;
        *out = static_cast<uint16_t>(65536 - v);
        return true;
    }
    if (!parseUnsigned(s, 0, 65535, &v)) return false;
    *out = static_cast<uint16_t>(v);
    return true;
}

struct Prefix {
    const char* name;
    Area area;
};

// Longest names first so "CIO" wins over "C".
const Prefix PREFIXES[] = {{"CIO", Area::CIO},   {"DM", Area::D},       {"W", Area::W},
                           {"H", Area::H},       {"A", Area::A},        {"D", Area::D},
                           {"T", Area::TimerPV}, {"C", Area::CounterPV}};

bool parseName(const std::string& text, MemoryAssignment* a, std::string* error) {
    const std::string name = upper(text);
    const Prefix* prefix = nullptr;
    for (const Prefix& p : PREFIXES) {
        const std::string pn = p.name;
        if (name.compare(0, pn.size(), pn) == 0 && name.size() > pn.size() &&
            std::isdigit(static_cast<unsigned char>(name[pn.size()]))) {
            prefix = &p;
            break;
        }
    }
    if (!prefix) {
        *error = "unknown address '" + text + "' (use CIO, W, H, A, D, T or C and a number)";
        return false;
    }
    std::string rest = name.substr(std::string(prefix->name).size());
    std::string suffix;
    const size_t dot = rest.find('.');
    if (dot != std::string::npos) {
        suffix = rest.substr(dot + 1);
        rest = rest.substr(0, dot);
    }
    uint64_t number = 0;
    a->area = prefix->area;
    if (!parseUnsigned(rest, 10, UINT32_MAX, &number) || number >= areaSize(a->area)) {
        *error = "address '" + text + "' is out of range";
        return false;
    }
    a->address = static_cast<uint32_t>(number);
    a->bit = -1;
    const bool timerCounter = a->area == Area::TimerPV || a->area == Area::CounterPV;
    if (dot == std::string::npos) return true;
    if (timerCounter) {
        if (suffix != "FLAG") {
            *error = "timers and counters take only '.flag' in '" + text + "'";
            return false;
        }
        a->area = a->area == Area::TimerPV ? Area::TimerFlag : Area::CounterFlag;
        return true;
    }
    uint64_t bit = 0;
    if (!parseUnsigned(suffix, 10, 15, &bit)) {
        *error = "bit number in '" + text + "' must be 0 to 15";
        return false;
    }
    a->bit = static_cast<int>(bit);
    return true;
}

// The line without its comment: '#' starts one outside double quotes.
std::string withoutComment(const std::string& line) {
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && quoted)
            ++i; // an escaped character is text
        else if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == '#' && !quoted)
            return line.substr(0, i);
    }
    return line;
}

const char* const UNTYPED_RANGE = " (0 to 65535, -32768 to -1, or 0x hex)";

// Without a data type: one word a value, or a single 0/1 for a bit or a flag.
bool parseUntyped(const std::string& text, bool bit, std::vector<uint16_t>* words,
                  std::string* error) {
    const std::vector<std::string> parts = plcvalues::splitValueList(text);
    if (parts.empty()) {
        *error = "bad value ''" + std::string(UNTYPED_RANGE);
        return false;
    }
    for (const std::string& p : parts) {
        uint16_t v = 0;
        if (!parseValue(p, &v)) {
            *error = "bad value '" + p + "'" + UNTYPED_RANGE;
            return false;
        }
        words->push_back(v);
    }
    if (bit && (parts.size() > 1 || words->front() > 1)) {
        *error = "a bit or flag takes 0 or 1, got '" + text + "'";
        return false;
    }
    return true;
}

bool parseTyped(const std::string& type_text, const std::string& text, std::vector<uint16_t>* words,
                std::string* error) {
    plcvalues::ValueType type;
    if (!plcvalues::parseValueType(type_text, &type, error)) return false;
    const std::vector<std::string> parts = plcvalues::splitValueList(text);
    if (parts.empty()) {
        *error = "expected a " + plcvalues::valueTypeName(type) + " value after '='";
        return false;
    }
    for (const std::string& p : parts)
        if (!plcvalues::encodeValue(type, p, words, error)) return false;
    return true;
}

} // namespace

bool parseAssignment(const std::string& text, MemoryAssignment* out, std::string* error) {
    std::string dummy;
    if (!error) error = &dummy;
    const size_t eq = text.find('=');
    if (eq == std::string::npos) {
        *error = "expected NAME = VALUE, got '" + trim(text) + "'";
        return false;
    }
    const std::string target = trim(text.substr(0, eq));
    const size_t colon = target.find(':');
    MemoryAssignment a;
    if (!parseName(trim(target.substr(0, colon)), &a, error)) return false;
    const std::string valueText = trim(text.substr(eq + 1));
    const bool bit = a.bit >= 0 || isFlagArea(a.area);
    if (colon == std::string::npos) {
        if (!parseUntyped(valueText, bit, &a.words, error)) return false;
    } else if (bit) {
        *error = "a bit or flag takes no data type, got '" + target + "'";
        return false;
    } else if (!parseTyped(target.substr(colon + 1), valueText, &a.words, error)) {
        return false;
    }
    if (!bit && a.address + a.words.size() > areaSize(a.area)) {
        *error = std::to_string(a.words.size()) + " words from '" + target +
                 "' run past the end of the area";
        return false;
    }
    *out = a;
    return true;
}

void applyAssignment(PlcMemory& memory, const MemoryAssignment& a) {
    if (a.words.empty()) return;
    if (a.bit >= 0) {
        memory.setBit(a.area, a.address, static_cast<unsigned>(a.bit), a.words.front() != 0);
        return;
    }
    for (size_t i = 0; i < a.words.size(); ++i)
        memory.setWord(a.area, a.address + static_cast<uint32_t>(i), a.words[i]);
}

bool loadMemoryText(const std::string& text, const std::string& source, PlcMemory& memory,
                    std::vector<std::string>* errors) {
    std::istringstream in(
        text.compare(0, UTF8_BOM.size(), UTF8_BOM) == 0 ? text.substr(UTF8_BOM.size()) : text);
    std::string line;
    int lineNo = 0;
    bool ok = true;
    while (std::getline(in, line)) {
        ++lineNo;
        const std::string content = trim(withoutComment(line));
        if (content.empty()) continue;
        MemoryAssignment a;
        std::string why;
        if (parseAssignment(content, &a, &why)) {
            applyAssignment(memory, a);
            continue;
        }
        ok = false;
        if (errors) errors->push_back(source + ":" + std::to_string(lineNo) + ": " + why);
    }
    return ok;
}

bool loadMemoryFile(const std::string& path, PlcMemory& memory, std::vector<std::string>* errors) {
    std::string text;
    if (!readWholeFile(path, &text)) {
        if (errors) errors->push_back(path + ": " + std::strerror(errno));
        return false;
    }
    return loadMemoryText(text, path, memory, errors);
}

namespace {

// One value of a data type into D from `address` on, through the shared encoder.
void storeValue(PlcMemory& memory, uint32_t address, const char* type_name,
                const std::string& text) {
    plcvalues::ValueType type;
    std::vector<uint16_t> words;
    std::string unused;
    if (!plcvalues::parseValueType(type_name, &type, &unused) ||
        !plcvalues::encodeValue(type, text, &words, &unused))
        return;
    for (size_t i = 0; i < words.size(); ++i)
        memory.setWord(Area::D, address + static_cast<uint32_t>(i), words[i]);
}

double storedNumber(const PlcMemory& memory, uint32_t address, const char* type_name) {
    plcvalues::ValueType type;
    std::string unused;
    plcvalues::parseValueType(type_name, &type, &unused);
    std::vector<uint16_t> words(plcvalues::wordsPerValue(type));
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = memory.word(Area::D, address + static_cast<uint32_t>(i));
    return plcvalues::decodeValue(type, words.data()).number;
}

const double kTwoPi = 6.283185307179586;
const int kWaveSteps = 240;     // one temperature wave: a minute at the demo's 250 ms
const long long kTotalStep = 7; // what the total grows by each step

} // namespace

void animateStep(PlcMemory& memory) {
    const uint16_t count = static_cast<uint16_t>(memory.word(Area::D, ANIMATE_COUNTER_WORD) + 1);
    memory.setWord(Area::D, ANIMATE_COUNTER_WORD, count);
    memory.setBit(Area::CIO, 0, 0, !memory.bit(Area::CIO, 0, 0));
    // The temperature follows the counter, in hundredths of a degree like a sensor's.
    const double temperature = 21.5 + 3.5 * std::sin(kTwoPi * (count % kWaveSteps) / kWaveSteps);
    char text[32];
    const auto end =
        std::to_chars(text, text + sizeof text, temperature, std::chars_format::fixed, 2).ptr;
    storeValue(memory, ANIMATE_TEMPERATURE_WORD, "REAL", std::string(text, end));
    long long total = static_cast<long long>(storedNumber(memory, ANIMATE_TOTAL_WORD, "DINT"));
    total = total + kTotalStep > INT32_MAX ? 0 : total + kTotalStep;
    storeValue(memory, ANIMATE_TOTAL_WORD, "DINT", std::to_string(total));
}

} // namespace plcsim
