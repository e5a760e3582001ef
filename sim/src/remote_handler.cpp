#include "plcsim/remote_handler.h"

#include "byte_io.h"
#include "plcsim/stream_framer.h"

namespace plcsim {

namespace {

constexpr size_t MAX_READ_DATA = 4096;
constexpr uint32_t ACCESS_READ = 0;
constexpr uint32_t ACCESS_WRITE = 1;
constexpr uint8_t TAIL_END[2] = {0x0D, 0x0A};

// The fields of a remote request.
struct RemoteRequest {
    uint32_t reqKind, access, linkId, station, regType, address, length;
    const uint8_t* value;
    size_t valueSize;
    bool checksumOk;
};

RemoteRequest parseRequest(const uint8_t* data, size_t size) {
    const Reader r(data, size);
    RemoteRequest q{};
    q.reqKind = r.u8(1);
    q.access = r.u8(2);
    q.linkId = r.u8(3);
    q.station = r.u8(4);
    q.regType = r.u16(5);
    q.address = r.u32(7);
    q.length = r.u16(11);
    q.value = data + 21;
    q.valueSize = size - REMOTE_MIN_REQUEST;
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; ++i)
        sum += data[i];
    q.checksumOk = (sum & 0xFFu) == data[size - 1];
    return q;
}

// Area of a register type; bit types name the word area they are read from.
bool typeArea(uint32_t regType, Area* area) {
    static const Area AREAS[14] = {
        Area::CIO, Area::W, Area::H, Area::A, Area::D, Area::TimerFlag, Area::CounterFlag,
        Area::CIO, Area::W, Area::H, Area::A, Area::D, Area::TimerPV,   Area::CounterPV};
    if (regType > 13) return false;
    *area = AREAS[regType];
    return true;
}

bool isRemoteBitType(uint32_t regType) {
    return regType <= 4;
}

// Read: D/2 words from the address, high byte first; flags one byte each.
uint32_t readData(const PlcMemory& memory, const RemoteRequest& q, size_t dataSize,
                  std::vector<uint8_t>* data) {
    Area area;
    if (!typeArea(q.regType, &area)) return REMOTE_UNKNOWN_TYPE;
    const bool flags = isFlagArea(area);
    const uint32_t items = static_cast<uint32_t>(flags ? dataSize : dataSize / 2);
    std::vector<uint16_t> words;
    if (!memory.readWords(area, q.address, items, &words)) return REMOTE_OUT_OF_RANGE;
    data->clear();
    for (uint16_t w : words) {
        if (flags)
            putU8(*data, w ? 1 : 0);
        else
            putU16(*data, w);
    }
    return REMOTE_OK;
}

uint32_t writeBit(PlcMemory& memory, Area area, const RemoteRequest& q) {
    if (q.valueSize < 1) return REMOTE_VALUE_SIZE;
    const uint32_t word = q.address / 16;
    if (word >= areaSize(area)) return REMOTE_OUT_OF_RANGE;
    if (isReadOnly(area, word)) return REMOTE_READ_ONLY;
    memory.setBit(area, word, q.address % 16, q.value[0] == 1);
    return REMOTE_OK;
}

// Write: words low byte first, as the host keeps them.
uint32_t writeWords(PlcMemory& memory, Area area, const RemoteRequest& q) {
    if (q.valueSize != 2 * size_t(q.length)) return REMOTE_VALUE_SIZE;
    if (uint64_t(q.address) + q.length > areaSize(area)) return REMOTE_OUT_OF_RANGE;
    if (isReadOnly(area, q.address)) return REMOTE_READ_ONLY;
    std::vector<uint16_t> words(q.length);
    for (size_t i = 0; i < words.size(); ++i)
        words[i] = static_cast<uint16_t>(q.value[2 * i] | (q.value[2 * i + 1] << 8));
    memory.writeWords(area, q.address, words);
    return REMOTE_OK;
}

uint32_t writeData(PlcMemory& memory, const RemoteRequest& q) {
    Area area;
    if (!typeArea(q.regType, &area)) return REMOTE_UNKNOWN_TYPE;
    if (isFlagArea(area)) return REMOTE_READ_ONLY;
    return isRemoteBitType(q.regType) ? writeBit(memory, area, q) : writeWords(memory, area, q);
}

std::vector<uint8_t> buildReply(const RemoteRequest& q, uint32_t status,
                                const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    const size_t total = REMOTE_HEAD_SIZE + data.size() + REMOTE_TAIL_SIZE;
    out.reserve(total);
    putU8(out, static_cast<uint32_t>(total));
    putU8(out, q.reqKind);
    putU8(out, q.access);
    putU8(out, q.linkId);
    putU8(out, q.station);
    putU16(out, q.regType);
    putU32(out, q.address);
    putU8(out, 0);
    putU32(out, status);
    putU16(out, q.length);
    putU16(out, static_cast<uint32_t>(data.size()));
    putU8(out, 0);
    putU16(out, 0);
    out.insert(out.end(), data.begin(), data.end());
    uint32_t sum = 0;
    for (uint8_t b : out)
        sum += b;
    putU16(out, sum);
    out.insert(out.end(), TAIL_END, TAIL_END + 2);
    return out;
}

} // namespace

size_t remoteReadDataSize(int regType, uint32_t length) {
    return (regType == 5 || regType == 6) ? 2 * size_t(length) : 4 * size_t(length);
}

std::vector<uint8_t> handleRemoteRequest(PlcMemory& memory, const uint8_t* request, size_t size,
                                         RequestInfo* info) {
    if (size < REMOTE_MIN_REQUEST) return {};
    const RemoteRequest q = parseRequest(request, size);
    const bool read = q.access != ACCESS_WRITE;
    size_t dataSize = read ? remoteReadDataSize(static_cast<int>(q.regType), q.length) : 0;
    std::vector<uint8_t> data;
    uint32_t status = REMOTE_OK;
    if (dataSize > MAX_READ_DATA) {
        dataSize = 0;
        status = REMOTE_OUT_OF_RANGE;
    } else if (!q.checksumOk) {
        status = REMOTE_BAD_CHECKSUM;
    } else if (q.access != ACCESS_READ && q.access != ACCESS_WRITE) {
        status = REMOTE_BAD_ACCESS;
    } else {
        status = read ? readData(memory, q, dataSize, &data) : writeData(memory, q);
    }
    if (status != REMOTE_OK || data.size() != dataSize) data.assign(dataSize, 0);
    info->command = read ? "remote-read" : "remote-write";
    info->areaCode = static_cast<int>(q.regType);
    info->address = q.address;
    info->count = q.length;
    info->endCode = status;
    return buildReply(q, status, data);
}

} // namespace plcsim
