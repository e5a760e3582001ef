// Host entry points of the screens: reads of the store, and writes queued for the PLC
// (or, when run_mode is not 2, applied to the store only).
#include <climits>
#include <cstring>

#include "Func_GetOrSetData.h"
#include "Func_Initi.h"
#include "driver_lock.h"
#include "driver_object.h"
#include "entry_guard.h"
#include "fins_codec.h"
#include "image_access.h"
#include "piece_split.h"
#include "request_frames.h"

namespace {

int serveHostRead(int reg_type, int station, QByteArray& buffer, long long n, int count) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    const fins::RegType* t = fins::regType(reg_type);
    const bool multi = d.com_info->multi_station != 0;
    if (count < 1 || (!multi && !t)) return 1;
    // A count whose bytes no QByteArray can hold is refused; the buffer is left as it was.
    // Growing before the lock keeps the locked section free of large allocations.
    if (!image::growTo(buffer, hostReadBytes(t, count))) return 0;
    DriverLock lock(d.data_mutex);
    if (multi)
        readStationValues(buffer, station, reg_type, n, count);
    else
        readImageValues(buffer, *t, n, count);
    return 1;
}

} // namespace

int GetRegisterData(QString*, int reg_type, QString* addr_text, int station, QByteArray* buffer,
                    int count) {
    if (!PLC_driver.com_info || !addr_text || !buffer) return 0;
    return guardEntry(0, [&] {
        const int n = StringAddressToInt(reg_type, *addr_text);
        return n < 0 ? 0 : serveHostRead(reg_type, station, *buffer, n, count);
    });
}

// ---- Host writes ----------------------------------------------------------------

namespace {

// Elements a queued write may cover: the size of the 16-bit FINS address space (bits:
// 16 per word). In FINS mode they must lie inside it, or the address sent would wrap
// onto other PLC words; remote frames carry the whole address, so there only the
// extent is bounded and every address must fit in an int. This also bounds the work
// of absurd counts.
bool writeFits(const fins::RegType& t, long long n, long long count, bool remote) {
    const long long space = fins::addressSpaceOf(t.code);
    if (remote) return count <= space && n + count - 1 <= INT_MAX;
    return n + count <= space;
}

RW_VAR hostWriteRequest(const QString* name, int reg_type, const QString& addr_text, int station,
                        int req_kind, int req_id) {
    const COM_INFO& c = *PLC_driver.com_info;
    RW_VAR r;
    r.req_kind = req_kind;
    r.req_id = req_id;
    r.access = 1;
    r.link_mode = c.remote_mode;
    r.link_id = c.local_link;
    r.result = 0;
    if (name) r.name = *name;
    r.addr_text = addr_text;
    r.reg_type = reg_type;
    r.address = 0;
    r.station = c.multi_station ? station : c.default_station;
    r.length = 0;
    r.aux1 = 0;
    r.aux2 = 0;
    return r;
}

// Queues a write and, while communication has failed, shows it in the store at once.
int queueWrite(RW_VAR& request) {
    const int size = AddListWriteVar(&request, 0);
    if (commFailed()) WriteDataToLocal(&request);
    return size;
}

// One single-bit request per bit, in ascending order; missing value bytes write 0.
int queueBitWrites(RW_VAR& request, int n, const QByteArray& value, int count) {
    const fins::Reader r(value);
    int size = 0;
    for (int i = 0; i < count; ++i) {
        quint8 byte = 0;
        r.u8At(i, byte);
        request.address = n + i;
        request.length = 1;
        request.value = QByteArray(1, static_cast<char>(byte));
        size = queueWrite(request);
    }
    return size;
}

// Length of the first, and longest, piece of count words split at max_block; 0 when
// the split gives no piece.
long long firstPieceLength(int count, int max_block) {
    long long first = 0;
    varlists::forEachPiece(0, count, max_block, max_block, varlists::kAnyIntStart,
                           [&](qint64, qint64 length) {
                               first = length;
                               return false;
                           });
    return first;
}

// Pieces of count words split at max_block, each with its value bytes from the host
// buffer and zeros past the buffer's end. In FINS mode a split that gives a piece no
// write frame can carry queues nothing.
int queueWordWrites(RW_VAR& request, int n, const QByteArray& value, int count) {
    const COM_INFO& c = *PLC_driver.com_info;
    request.length = static_cast<int>(firstPieceLength(count, c.max_block));
    if (request.length == 0) return 0;
    if (c.remote_mode == 0 && !frames::writeFrameCarries(request)) return 0;
    int size = 0;
    varlists::forEachPiece(
        0, count, c.max_block, c.max_block, varlists::kAnyIntStart, [&](qint64 first, qint64 len) {
            const int length = static_cast<int>(len);
            const QByteArray available = value.mid(static_cast<int>(2 * first), 2 * length);
            request.address = n + static_cast<int>(first);
            request.length = length;
            request.value = available;
            request.value.resize(2 * length);
            std::memset(request.value.data() + available.size(), 0,
                        static_cast<size_t>(2 * length - available.size()));
            size = queueWrite(request);
            return true;
        });
    return size;
}

int serveHostWrite(RW_VAR& request, int n, const QByteArray& value, int count) {
    Omron_Fins_TcpIP_Series& d = PLC_driver;
    if (d.com_info->run_mode != 2) {
        request.address = n;
        request.length = count;
        request.value = value;
        WriteDataToLocal(&request);
        return 1;
    }
    const fins::RegType* t = fins::regType(request.reg_type);
    if (!t || t->unit == fins::Unit::Flag || count < 1) return 0;
    if (!writeFits(*t, n, count, d.com_info->remote_mode != 0)) return 0;
    return t->unit == fins::Unit::Bit ? queueBitWrites(request, n, value, count)
                                      : queueWordWrites(request, n, value, count);
}

} // namespace

int SetRegisterData(QString* name, int reg_type, QString* addr_text, int station, QByteArray* value,
                    int count, int req_kind, int req_id) {
    if (!PLC_driver.com_info || !addr_text || !value) return 0;
    return guardEntry(0, [&] {
        const int n = StringAddressToInt(reg_type, *addr_text);
        if (n < 0) return 0;
        RW_VAR request = hostWriteRequest(name, reg_type, *addr_text, station, req_kind, req_id);
        return serveHostWrite(request, n, *value, count);
    });
}
