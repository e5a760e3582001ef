#include "plcsim/fins_handler.h"

#include "byte_io.h"

namespace plcsim {

namespace {

constexpr size_t FINS_HEADER = 10;
constexpr size_t COMMAND_OFFSET = 10; // MRC, SRC
constexpr size_t BODY_OFFSET = 12;    // area code, address, bit, count
constexpr size_t BODY_SIZE = 6;
constexpr size_t DATA_OFFSET = BODY_OFFSET + BODY_SIZE;
constexpr uint32_t COUNTER_OFFSET = 0x8000;
constexpr uint32_t TIMER_COUNTER_SPAN = 0x1000;

enum class Unit { Bit, Word, Flag };

struct AreaCode {
    uint8_t code;
    Unit unit;
    Area area; // for 0x09 / 0x89: the timer area; counters are chosen by address
};

const AreaCode AREA_CODES[] = {
    {0x30, Unit::Bit, Area::CIO},        {0x31, Unit::Bit, Area::W},
    {0x32, Unit::Bit, Area::H},          {0x33, Unit::Bit, Area::A},
    {0x02, Unit::Bit, Area::D},          {0xB0, Unit::Word, Area::CIO},
    {0xB1, Unit::Word, Area::W},         {0xB2, Unit::Word, Area::H},
    {0xB3, Unit::Word, Area::A},         {0x82, Unit::Word, Area::D},
    {0x09, Unit::Flag, Area::TimerFlag}, {0x89, Unit::Word, Area::TimerPV},
};

const AreaCode* findAreaCode(uint32_t code) {
    for (const AreaCode& a : AREA_CODES)
        if (a.code == code) return &a;
    return nullptr;
}

// A request's target, resolved to a memory area and a first item.
struct Target {
    Area area;
    Unit unit;
    uint32_t word; // word, timer or counter number
    unsigned bit;  // bit areas only
    uint32_t count;
};

// Timer/counter codes select counters with 0x8000 added; anything between the two
// ranges is no valid start address.
uint16_t resolveTarget(const AreaCode& code, uint32_t address, uint32_t bit, uint32_t count,
                       Target* t) {
    t->area = code.area;
    t->unit = code.unit;
    t->word = address;
    t->bit = 0;
    t->count = count;
    if (code.area == Area::TimerFlag || code.area == Area::TimerPV) {
        if (address >= COUNTER_OFFSET) {
            t->area = code.area == Area::TimerFlag ? Area::CounterFlag : Area::CounterPV;
            t->word = address - COUNTER_OFFSET;
        }
        if (t->word >= TIMER_COUNTER_SPAN) return END_START_OUT_OF_RANGE;
    }
    if (code.unit == Unit::Bit) {
        if (bit > 15) return END_START_OUT_OF_RANGE;
        t->bit = bit;
    } else if (bit != 0) {
        return END_START_OUT_OF_RANGE;
    }
    if (t->word >= areaSize(t->area)) return END_START_OUT_OF_RANGE;
    if (count == 0) return END_COUNT_MISMATCH;
    const uint64_t lastWord = code.unit == Unit::Bit
                                  ? (uint64_t(t->word) * 16 + t->bit + count - 1) / 16
                                  : uint64_t(t->word) + count - 1;
    if (lastWord >= areaSize(t->area)) return END_END_OUT_OF_RANGE;
    return END_OK;
}

size_t itemSize(Unit unit) {
    return unit == Unit::Word ? 2 : 1;
}

uint16_t readTarget(const PlcMemory& memory, const Target& t, size_t maxData,
                    std::vector<uint8_t>* out) {
    if (uint64_t(t.count) * itemSize(t.unit) > maxData) return END_RESPONSE_TOO_LONG;
    if (t.unit == Unit::Bit) {
        std::vector<uint8_t> bits;
        memory.readBits(t.area, t.word, t.bit, t.count, &bits);
        out->insert(out->end(), bits.begin(), bits.end());
        return END_OK;
    }
    std::vector<uint16_t> words;
    memory.readWords(t.area, t.word, t.count, &words);
    for (uint16_t w : words) {
        if (t.unit == Unit::Flag)
            putU8(*out, w ? 1 : 0);
        else
            putU16(*out, w);
    }
    return END_OK;
}

bool touchesReadOnly(const Target& t) {
    if (isFlagArea(t.area)) return true;
    return isReadOnly(t.area, t.word); // A0-A447 lie below every writable A word
}

uint16_t writeTarget(PlcMemory& memory, const Target& t, const uint8_t* data, size_t size) {
    if (size != uint64_t(t.count) * itemSize(t.unit)) return END_COUNT_MISMATCH;
    if (touchesReadOnly(t)) return END_READ_ONLY;
    if (t.unit == Unit::Bit) {
        std::vector<uint8_t> bits(data, data + size);
        for (uint8_t& b : bits)
            b = b ? 1 : 0;
        memory.writeBits(t.area, t.word, t.bit, bits);
        return END_OK;
    }
    Reader r(data, size);
    std::vector<uint16_t> words(t.count);
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = static_cast<uint16_t>(r.u16(2 * i));
    memory.writeWords(t.area, t.word, words);
    return END_OK;
}

// Memory area read (01 01) or write (01 02); *data receives read data.
uint16_t memoryAreaCommand(PlcMemory& memory, const Reader& msg, bool write, size_t maxData,
                           std::vector<uint8_t>* data, RequestInfo* info) {
    const size_t size = msg.size();
    if (size < DATA_OFFSET) return END_COMMAND_TOO_SHORT;
    if (!write && size > DATA_OFFSET) return END_COMMAND_TOO_LONG;
    info->areaCode = static_cast<int>(msg.u8(BODY_OFFSET));
    info->address = msg.u16(BODY_OFFSET + 1);
    info->count = msg.u16(BODY_OFFSET + 4);
    const AreaCode* code = findAreaCode(msg.u8(BODY_OFFSET));
    if (!code) return END_AREA_MISSING;
    Target t;
    const uint16_t end =
        resolveTarget(*code, info->address, msg.u8(BODY_OFFSET + 3), info->count, &t);
    if (end != END_OK) return end;
    if (write) return writeTarget(memory, t, msg.data() + DATA_OFFSET, size - DATA_OFFSET);
    return readTarget(memory, t, maxData, data);
}

void putResponseHeader(std::vector<uint8_t>& out, const Reader& req, uint8_t clientNode,
                       uint8_t serverNode) {
    putU8(out, 0xC0);       // ICF: response
    putU8(out, 0x00);       // RSV
    putU8(out, 0x02);       // GCT
    putU8(out, req.u8(6));  // DNA = request SNA
    putU8(out, clientNode); // DA1 = the node this connection was given
    putU8(out, req.u8(8));  // DA2 = request SA2
    putU8(out, req.u8(3));  // SNA = request DNA
    putU8(out, serverNode); // SA1 = the PLC's node
    putU8(out, req.u8(5));  // SA2 = request DA2
    putU8(out, req.u8(9));  // SID echoed
    putU8(out, req.u8(COMMAND_OFFSET));
    putU8(out, req.u8(COMMAND_OFFSET + 1));
}

} // namespace

std::vector<uint8_t> handleFinsMessage(PlcMemory& memory, const uint8_t* message, size_t size,
                                       uint8_t clientNode, uint8_t serverNode, RequestInfo* info,
                                       size_t messageLimit) {
    const Reader req(message, size);
    std::vector<uint8_t> data;
    uint16_t end = END_OK;
    info->command = "fins";
    if (size > messageLimit) {
        end = END_COMMAND_TOO_LONG;
    } else if (size < FINS_HEADER + 2) {
        end = END_COMMAND_TOO_SHORT;
    } else {
        const uint32_t command = req.u16(COMMAND_OFFSET);
        if (command == 0x0101 || command == 0x0102) {
            const bool write = command == 0x0102;
            info->command = write ? "write" : "read";
            end = memoryAreaCommand(memory, req, write, maxDataBytes(messageLimit), &data, info);
        } else {
            end = END_UNDEFINED_COMMAND;
        }
    }
    if (end != END_OK) data.clear();
    info->endCode = end;
    std::vector<uint8_t> out;
    out.reserve(FINS_HEADER + 4 + data.size());
    putResponseHeader(out, req, clientNode, serverNode);
    putU16(out, end);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

std::vector<uint8_t> finsTcpFrame(uint32_t command, uint32_t errorCode,
                                  const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> out;
    out.reserve(16 + payload.size());
    putU32(out, 0x46494E53u); // "FINS"
    putU32(out, static_cast<uint32_t>(8 + payload.size()));
    putU32(out, command);
    putU32(out, errorCode);
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

} // namespace plcsim
