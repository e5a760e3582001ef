// Careless and hostile input from the host: addresses at and past the end of every area
// and at the limits of int, counts of 0, -1 and huge, missing buffers, max_block 0 and
// negative, and replies longer or shorter than their frame. Each gets a defined result,
// and the image arrays change only where the request says: the arrays lie side by side
// in the driver object, so every test compares all of them, element by element.
#include <climits>
#include <cstdlib>
#include <new>

#include "driver_fixture.h"
#include "image_areas.h"
#include "image_snapshot.h"
#include "plc_peer.h"

// While set, every operator new of the process throws, as when memory runs out.
static bool& failAllocations() {
    static bool fail = false;
    return fail;
}

void* operator new(std::size_t n) {
    void* p = failAllocations() ? nullptr : std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t n) {
    return ::operator new(n);
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return failAllocations() ? nullptr : std::malloc(n ? n : 1);
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept {
    return ::operator new(n, t);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

// The result of call while every allocation fails.
template <class Call> auto withAllocationsFailing(Call call) -> decltype(call()) {
    struct Restore {
        ~Restore() { failAllocations() = false; }
    } restore;
    failAllocations() = true;
    return call();
}

using fins::ImageArea;

// Host bytes of one word, low byte first.
QByteArray word(int v) {
    QByteArray b;
    b.append(static_cast<char>(v & 0xFF)).append(static_cast<char>((v >> 8) & 0xFF));
    return b;
}

class HostileInput : public DriverTest {
  protected:
    void SetUp() override {
        DriverTest::SetUp();
        fillImagePattern(0xA5);
    }

    int get(int type, const QString& address, int count, QByteArray* out, int station = 1) {
        QString text = address;
        return GetRegisterData(nullptr, type, &text, station, out, count);
    }
    int set(int type, const QString& address, const QByteArray& value, int count) {
        QString name = "n", text = address;
        QByteArray v = value;
        return SetRegisterData(&name, type, &text, 1, &v, count, 0, 0);
    }
    // Elements changed since the snapshot, as "area:index" texts.
    static std::vector<std::string> changed(const ImageSnapshot& s) {
        std::vector<std::string> out;
        for (const ImageChange& c : s.changes())
            out.push_back(std::to_string(static_cast<int>(c.area)) + ":" + std::to_string(c.index));
        return out;
    }
    static std::string at(ImageArea a, int index) {
        return std::to_string(static_cast<int>(a)) + ":" + std::to_string(index);
    }
};

// ---- Addresses around the capacity of each word area -----------------------------

struct CapacityRow {
    int reg_type;
    ImageArea area;
    int capacity; // words
};

const CapacityRow kWordAreas[] = {
    {7, ImageArea::Cio, CIO_IMAGE_WORDS},
    {8, ImageArea::W, W_IMAGE_WORDS},
    {9, ImageArea::H, H_IMAGE_WORDS},
    {10, ImageArea::A, A_IMAGE_WORDS},
    {11, ImageArea::D, D_IMAGE_WORDS},
    {12, ImageArea::TimerPv, T_PV_IMAGE_WORDS},
    {13, ImageArea::CounterPv, C_PV_IMAGE_WORDS},
};

TEST_F(HostileInput, StoreOnlyWordWritesStopAtTheEndOfTheirArea) {
    com.run_mode = 0;
    for (const CapacityRow& row : kWordAreas) {
        SCOPED_TRACE("reg_type " + std::to_string(row.reg_type));
        const QString last = QString::number(row.capacity - 1);
        ImageSnapshot before;
        // Two words from capacity - 1: the first is stored, the second has no place.
        EXPECT_EQ(set(row.reg_type, last, word(0x1234) + word(0x5678), 2), 1);
        EXPECT_EQ(changed(before), (std::vector<std::string>{at(row.area, row.capacity - 1)}));
        QByteArray out;
        EXPECT_EQ(get(row.reg_type, last, 2, &out), 1);
        EXPECT_EQ(toHex(out), "34 12 00 00");

        ImageSnapshot unchanged;
        const long long beyond[] = {row.capacity, row.capacity + 1LL, 1000000, INT_MAX};
        for (long long address : beyond) {
            const QString text = QString::number(address);
            EXPECT_EQ(set(row.reg_type, text, word(0x7777) + word(0x7777) + word(0x7777), 3), 1);
            QByteArray far;
            EXPECT_EQ(get(row.reg_type, text, 3, &far), 1);
            EXPECT_EQ(toHex(far), "00 00 00 00 00 00") << address;
        }
        EXPECT_TRUE(unchanged.changes().empty());
    }
}

TEST_F(HostileInput, BitAddressesAtTheEndOfAnAreaAndAtTheLimitOfInt) {
    com.run_mode = 0;
    ImageSnapshot before;
    // CIO bit 6149.15 is the last bit of the image (set in the pattern); 6150.00 lies past it.
    EXPECT_EQ(set(0, "6149.15", hex("00 01 01"), 3), 1);
    EXPECT_EQ(changed(before), (std::vector<std::string>{at(ImageArea::Cio, 6149)}));
    EXPECT_EQ(PLC_driver.cio_image[6149], 0x25A5);
    QByteArray out;
    EXPECT_EQ(get(0, "6149.14", 3, &out), 1);
    EXPECT_EQ(toHex(out), "00 00 00");

    ImageSnapshot unchanged;
    // 2147483647 * 16 + 15 does not fit in an int: no usable address.
    QByteArray untouched("keep");
    EXPECT_EQ(get(0, "2147483647.15", 4, &untouched), 0);
    EXPECT_EQ(untouched, QByteArray("keep"));
    EXPECT_EQ(set(0, "2147483647.15", hex("01"), 1), 0);
    // 134217727.15 is exactly INT_MAX as a bit number: valid, far past the area.
    EXPECT_EQ(get(0, "134217727.15", 2, &out), 1);
    EXPECT_EQ(toHex(out), "00 00 00");
    EXPECT_EQ(set(0, "134217727.15", hex("01 01"), 2), 1);
    EXPECT_EQ(get(0, "-1.5", 1, &untouched), 0);
    EXPECT_TRUE(unchanged.changes().empty());
}

TEST_F(HostileInput, FlagReadsPastTheEndReadZero) {
    QByteArray out;
    EXPECT_EQ(get(5, "4119", 2, &out), 1); // the last flag, then one past the array
    EXPECT_EQ(toHex(out), "01 00");        // the pattern 0xA5 has bit 7 set
    EXPECT_EQ(get(6, "2147483647", 2, &out), 1);
    EXPECT_EQ(toHex(out), "00 00");
}

// ---- Counts ------------------------------------------------------------------------

TEST_F(HostileInput, ReadCountsOfZeroNegativeAndHuge) {
    struct Row {
        int reg_type, count, result;
    } rows[] = {
        {11, 0, 1},
        {11, -1, 1},
        {0, 0, 1},
        {0, INT_MIN, 1},
        {5, -7, 1},
        // No buffer can hold these: refused, the buffer left as it was.
        {11, INT_MAX, 0},
        {0, INT_MAX, 0},
        {5, INT_MAX, 0},
        {13, INT_MAX / 2 + 1, 0},
    };
    for (const Row& r : rows) {
        QByteArray out("keep");
        EXPECT_EQ(get(r.reg_type, r.reg_type == 0 ? "1.0" : "1", r.count, &out), r.result)
            << r.reg_type << " x " << r.count;
        EXPECT_EQ(out, QByteArray("keep")) << r.reg_type << " x " << r.count;
    }
}

TEST_F(HostileInput, WriteCountsOfZeroNegativeAndHuge) {
    ImageSnapshot before;
    // Queued writes: counts below 1 and counts past the 16-bit address space refused.
    EXPECT_EQ(set(11, "100", word(1), 0), 0);
    EXPECT_EQ(set(11, "100", word(1), -1), 0);
    EXPECT_EQ(set(11, "100", word(1), INT_MIN), 0);
    EXPECT_EQ(set(0, "1.0", hex("01"), -5), 0);
    EXPECT_EQ(set(11, "100", word(1), INT_MAX), 0);
    EXPECT_EQ(set(0, "1.0", hex("01"), INT_MAX), 0);
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
    // Store-only: the store takes what the buffer holds and nothing else.
    com.run_mode = 0;
    EXPECT_EQ(set(11, "100", word(0x4321), INT_MAX), 1);
    EXPECT_EQ(set(11, "200", word(0x4321), -1), 1);
    EXPECT_EQ(changed(before), (std::vector<std::string>{at(ImageArea::D, 100)}));
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
}

// ---- Missing and empty buffers ------------------------------------------------------

TEST_F(HostileInput, MissingBuffersAndTextsAreRefused) {
    QString text = "100";
    QByteArray value = word(7);
    ImageSnapshot before;
    EXPECT_EQ(GetRegisterData(nullptr, 11, &text, 1, nullptr, 1), 0);
    EXPECT_EQ(GetRegisterData(nullptr, 11, nullptr, 1, &value, 1), 0);
    EXPECT_EQ(SetRegisterData(nullptr, 11, &text, 1, nullptr, 1, 0, 0), 0);
    EXPECT_EQ(SetRegisterData(nullptr, 11, nullptr, 1, &value, 1, 0, 0), 0);
    EXPECT_EQ(AddListWriteVar(nullptr, 0), 0);
    EXPECT_EQ(AddListWriteVar(nullptr, 1), 0);
    EXPECT_EQ(AddListOnceReadVar(nullptr, 0), 0);
    EXPECT_EQ(AddListReadVar(nullptr), 0);
    EXPECT_EQ(ReCreatReadVarList(nullptr), 0);
    EXPECT_TRUE(before.changes().empty());
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
    // A missing name is only a missing name.
    EXPECT_EQ(SetRegisterData(nullptr, 11, &text, 1, &value, 1, 0, 0), 1);
    EXPECT_TRUE(PLC_driver.write_list.first().name.isEmpty());
}

TEST_F(HostileInput, EmptyBuffersWriteZerosWhenQueuedAndNothingWhenStored) {
    EXPECT_EQ(set(11, "100", QByteArray(), 2), 1);
    ASSERT_EQ(PLC_driver.write_list.size(), 1);
    EXPECT_EQ(toHex(PLC_driver.write_list.first().value), "00 00 00 00");
    EXPECT_EQ(set(0, "1.3", QByteArray(), 2), 3);
    EXPECT_EQ(toHex(PLC_driver.write_list.at(2).value), "00");
    com.run_mode = 0;
    ImageSnapshot before;
    EXPECT_EQ(set(11, "100", QByteArray(), 2), 1);
    EXPECT_EQ(set(0, "1.3", QByteArray(), 2), 1);
    EXPECT_TRUE(before.changes().empty());
}

// ---- max_block 0 and negative ---------------------------------------------------------

// ---- Replies longer or shorter than their frame ----------------------------------------

class HostileReply : public HostileInput {
  protected:
    void SetUp() override {
        HostileInput::SetUp();
        map_list[1] = Check_Plc{1, 1, 10};
        QList<VAR_DESC> vars;
        VAR_DESC d = VAR_DESC();
        d.reg_type = 11;
        d.addr_text = QString::number(D_IMAGE_WORDS - 1);
        d.length = 2; // the second word lies past the image
        vars.append(d);
        ASSERT_EQ(ReCreatReadVarList(&vars), 1);
        Protocol* p = ComCommunication();
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p->reply_len, 34);
    }
    static QByteArray goodReply() {
        return hex("46494E53 0000001A 00000002 00000000 C0000200 0A000001 0000 0101 0000 "
                   "1234 5678");
    }
};

TEST_F(HostileReply, ReadReplyAtTheEndOfTheImageStoresOnlyWhatFits) {
    ImageSnapshot before;
    QByteArray reply = goodReply();
    EXPECT_EQ(DataCom(&reply, reply.size())->result, 1);
    EXPECT_EQ(changed(before), (std::vector<std::string>{at(ImageArea::D, D_IMAGE_WORDS - 1)}));
    EXPECT_EQ(PLC_driver.d_image[D_IMAGE_WORDS - 1], 0x1234);
}

TEST_F(HostileInput, HandshakeAnswerOfTheWrongSizeIsRefused) {
    QList<VAR_DESC> vars;
    VAR_DESC d = VAR_DESC();
    d.reg_type = 11;
    d.addr_text = "1";
    d.length = 1;
    vars.append(d);
    ASSERT_EQ(ReCreatReadVarList(&vars), 1);
    const QByteArray answer = hex("46494E53 00000010 00000001 00000000 0000000A 00000001");
    for (int size : {0, 23, 25, 64}) {
        ASSERT_NE(ComCommunication(), nullptr);
        QByteArray reply = answer.leftJustified(size, '\0', true);
        EXPECT_EQ(DataCom(&reply, 24)->result, 201) << size;
        EXPECT_EQ(map_list[1].hs_done, 0);
    }
    ASSERT_NE(ComCommunication(), nullptr);
    QByteArray reply = answer;
    EXPECT_EQ(DataCom(&reply, 0)->result, 1); // judged by its bytes, not the reported length
    EXPECT_EQ(map_list[1].hs_done, 1);
}

// ---- Allocations that fail ---------------------------------------------------------

// No exception reaches the host: each entry point gives its "nothing done" answer.
TEST_F(HostileInput, FailedAllocationsNeverReachTheHost) {
    com.multi_station = 1; // store entries are then allocated by reads and replies
    map_list[1] = Check_Plc{1, 1, 10};
    RW_VAR v = RW_VAR();
    v.reg_type = 11;
    v.addr_text = "5";
    v.station = v.length = 1;
    VAR_DESC desc = VAR_DESC();
    desc.reg_type = 11;
    desc.addr_text = "5";
    desc.length = 1;
    QList<VAR_DESC> vars = {desc};
    QString name = "n", text = "5";
    QByteArray out, value = word(7);
    ASSERT_EQ(AddListReadVar(&v), 1);
    EXPECT_EQ(withAllocationsFailing([&] { return AddListWriteVar(&v, 0); }), 0);
    EXPECT_EQ(withAllocationsFailing([&] { return AddListOnceReadVar(&v, 0); }), 0);
    EXPECT_EQ(withAllocationsFailing([&] { return AddListReadVar(&v); }), 0);
    EXPECT_EQ(withAllocationsFailing([&] { return ReCreatReadVarList(&vars); }), 0);
    EXPECT_TRUE(PLC_driver.read_list.isEmpty());
    EXPECT_EQ(withAllocationsFailing([&] { return GetRegisterData(0, 11, &text, 1, &out, 1); }), 0);
    EXPECT_EQ(withAllocationsFailing(
                  [&] { return SetRegisterData(&name, 11, &text, 1, &value, 1, 0, 0); }),
              0);
    ASSERT_EQ(AddListReadVar(&v), 1);
    EXPECT_EQ(withAllocationsFailing([] { return ComCommunication(); }), nullptr);
    const Protocol* p = ComCommunication();
    ASSERT_NE(p, nullptr);
    QByteArray reply = peer::wordReply(*p, {0x1234});
    EXPECT_EQ(withAllocationsFailing([&] { return DataCom(&reply, reply.size())->result; }), 0);
    EXPECT_EQ(PLC_driver.protocol_list.size(), 1); // sent again next turn
}

} // namespace
