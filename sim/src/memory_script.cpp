#include "plcsim/memory_script.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

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

} // namespace

bool parseAssignment(const std::string& text, MemoryAssignment* out, std::string* error) {
    std::string dummy;
    if (!error) error = &dummy;
    const size_t eq = text.find('=');
    if (eq == std::string::npos) {
        *error = "expected NAME = VALUE, got '" + trim(text) + "'";
        return false;
    }
    MemoryAssignment a;
    if (!parseName(trim(text.substr(0, eq)), &a, error)) return false;
    const std::string valueText = trim(text.substr(eq + 1));
    if (!parseValue(valueText, &a.value)) {
        *error = "bad value '" + valueText + "' (0 to 65535, -32768 to -1, or 0x hex)";
        return false;
    }
    if ((a.bit >= 0 || isFlagArea(a.area)) && a.value > 1) {
        *error = "a bit or flag takes 0 or 1, got '" + valueText + "'";
        return false;
    }
    *out = a;
    return true;
}

void applyAssignment(PlcMemory& memory, const MemoryAssignment& a) {
    if (a.bit >= 0)
        memory.setBit(a.area, a.address, static_cast<unsigned>(a.bit), a.value != 0);
    else
        memory.setWord(a.area, a.address, a.value);
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
        const std::string content = trim(line.substr(0, line.find('#')));
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

void animateStep(PlcMemory& memory) {
    memory.setWord(Area::D, ANIMATE_COUNTER_WORD,
                   static_cast<uint16_t>(memory.word(Area::D, ANIMATE_COUNTER_WORD) + 1));
    memory.setBit(Area::CIO, 0, 0, !memory.bit(Area::CIO, 0, 0));
}

} // namespace plcsim
