// The simulator's request parser and handlers (FINS/TCP or remote framing), fed an
// arbitrary byte stream twice: whole, and split at points the input chooses. Both
// feedings give the same replies and leave the same memory; every FINS/TCP reply has
// the FINS magic and a length field that matches its size; remote replies carry at
// least the 23-byte head and 4-byte tail.
#include <algorithm>
#include <memory>
#include <vector>

#include "fins_codec.h"
#include "fuzz_input.h"
#include "plcsim/plc_memory.h"
#include "plcsim/remote_handler.h"
#include "plcsim/session.h"

namespace {

using plcsim::Area;

std::unique_ptr<plcsim::Session> session(bool remote, plcsim::PlcMemory& memory) {
    if (remote) return std::make_unique<plcsim::RemoteSession>(memory);
    return std::make_unique<plcsim::FinsSession>(memory, 1, 0xFB);
}

void checkReply(bool remote, const plcsim::SessionOutput& o) {
    const std::vector<uint8_t>& r = o.reply;
    FUZZ_CHECK(!remote || r.size() >= plcsim::REMOTE_HEAD_SIZE + plcsim::REMOTE_TAIL_SIZE);
    if (remote) return;
    const char* bytes = reinterpret_cast<const char*>(r.data());
    // A FINS response message never exceeds the CP1L's 1016 bytes.
    FUZZ_CHECK(r.size() >= fins::TCP_HEADER_SIZE && r.size() <= 16 + 1016);
    FUZZ_CHECK(fins::announcedFrameSize(bytes, int(r.size())) == static_cast<long long>(r.size()));
}

bool sameMemory(const plcsim::PlcMemory& a, const plcsim::PlcMemory& b) {
    for (Area area : {Area::CIO, Area::W, Area::H, Area::A, Area::D, Area::TimerPV, Area::CounterPV,
                      Area::TimerFlag, Area::CounterFlag}) {
        std::vector<uint16_t> x, y;
        a.readWords(area, 0, plcsim::areaSize(area), &x);
        b.readWords(area, 0, plcsim::areaSize(area), &y);
        if (x != y) return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const bool remote = data[0] & 1;
    // Byte 1: number of split points; then two bytes per point; the rest is the stream.
    const size_t splits = data[1] % 16;
    size_t pos = 2;
    std::vector<size_t> cuts;
    for (size_t i = 0; i < splits && pos + 1 < size; ++i, pos += 2)
        cuts.push_back((size_t(data[pos]) << 8) | data[pos + 1]);
    const uint8_t* stream = data + std::min(pos, size);
    const size_t length = size - std::min(pos, size);
    for (size_t& c : cuts)
        c = length ? c % (length + 1) : 0;
    std::sort(cuts.begin(), cuts.end());
    cuts.push_back(length);

    plcsim::PlcMemory whole_memory, split_memory;
    std::unique_ptr<plcsim::Session> whole = session(remote, whole_memory);
    std::unique_ptr<plcsim::Session> split = session(remote, split_memory);
    std::vector<plcsim::SessionOutput> whole_out, split_out;

    whole->feed(stream, length, &whole_out);
    size_t from = 0;
    for (size_t to : cuts) {
        split->feed(stream + from, to - from, &split_out);
        from = to;
    }

    FUZZ_CHECK(whole_out.size() == split_out.size());
    for (size_t i = 0; i < whole_out.size(); ++i) {
        checkReply(remote, whole_out[i]);
        FUZZ_CHECK(whole_out[i].reply == split_out[i].reply &&
                   whole_out[i].closeAfter == split_out[i].closeAfter);
        // Only the last reply may ask for the connection to close.
        if (whole_out[i].closeAfter) FUZZ_CHECK(i + 1 == whole_out.size());
    }
    FUZZ_CHECK(whole->finished() == split->finished());
    if (whole->finished()) FUZZ_CHECK(!whole_out.empty() && whole_out.back().closeAfter);
    FUZZ_CHECK(sameMemory(whole_memory, split_memory));
    return 0;
}
