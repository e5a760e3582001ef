// Careless and hostile input from the host: addresses at and past the end of every
// area and at the limits of int, counts of 0, -1 and huge, missing buffers, and a
// reply that reaches past the image. Each gets a defined result, and the image arrays
// change only where the request says: they lie side by side in the driver object, so
// every check compares all of them, element by element.
#include <climits>
#include <cstdlib>
#include <new>

#include "driver_fixture.h"
#include "image_snapshot.h"

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

// Answer to a read of D5 x1 (or more) from node 1 to node 10: header, end code 0, data.
const char kReadReplyHead[] =
    "46494E53 0000001A 00000002 00000000 C0000200 0A000001 0000 0101 0000";

using fins::ImageArea;
using Changes = std::vector<std::string>;

class HostileInput : public DriverTest {
  protected:
    void SetUp() override { fillImagePattern(0xA5); }

    static int get(int type, const QString& address, int count, QByteArray* out) {
        QString text = address;
        return GetRegisterData(nullptr, type, &text, 1, out, count);
    }
    static std::string read(int type, const QString& address, int count) {
        QByteArray out;
        return get(type, address, count, &out) == 1 ? toHex(out) : "refused";
    }
    static int set(int type, const QString& address, const QByteArray& value, int count) {
        QString name = "n", text = address;
        QByteArray v = value;
        return SetRegisterData(&name, type, &text, 1, &v, count, 0, 0);
    }
    // Elements changed since the snapshot, as "area:index" texts.
    static Changes changed(const ImageSnapshot& s) {
        Changes out;
        for (const ImageChange& c : s.changes())
            out.push_back(at(c.area, c.index));
        return out;
    }
    static std::string at(ImageArea a, int index) {
        return std::to_string(static_cast<int>(a)) + ":" + std::to_string(index);
    }
};

// The store-only path (run_mode 0) writes the image at once; reads come from it.
TEST_F(HostileInput, WordAreasStopAtTheirEnd) {
    const int image_words[] = {CIO_IMAGE_WORDS, W_IMAGE_WORDS,    H_IMAGE_WORDS,   A_IMAGE_WORDS,
                               D_IMAGE_WORDS,   T_PV_IMAGE_WORDS, C_PV_IMAGE_WORDS};
    com.run_mode = 0;
    for (int type = 7; type <= 13; ++type) {
        const fins::RegType& t = *fins::regType(type);
        const int words = image_words[type - 7];
        SCOPED_TRACE(t.mnemonic);
        const QString last = QString::number(words - 1);
        ImageSnapshot before;
        // Two words from the last one: the first is stored, the second has no place.
        EXPECT_EQ(set(type, last, hex("3412 7856"), 2), 1);
        EXPECT_EQ(changed(before), Changes{at(t.image, words - 1)});
        EXPECT_EQ(read(type, last, 2), "34 12 00 00");
        ImageSnapshot unchanged;
        for (long long address : {1LL * words, 1LL * INT_MAX}) {
            const QString text = QString::number(address);
            EXPECT_EQ(set(type, text, hex("7777 7777 7777"), 3), 1);
            EXPECT_EQ(read(type, text, 3), "00 00 00 00 00 00") << address;
        }
        EXPECT_TRUE(unchanged.changes().empty());
    }
}

TEST_F(HostileInput, BitAndFlagAddressesAtTheEndAndAtTheLimitOfInt) {
    com.run_mode = 0;
    ImageSnapshot before;
    // CIO 6149.15 is the last bit of the image (set in the pattern); 6150.00 lies past it.
    EXPECT_EQ(set(0, "6149.15", hex("00 01 01"), 3), 1);
    EXPECT_EQ(changed(before), Changes{at(ImageArea::Cio, CIO_IMAGE_WORDS - 1)});
    EXPECT_EQ(PLC_driver.cio_image[CIO_IMAGE_WORDS - 1], 0x25A5);
    QByteArray untouched("keep");
    EXPECT_EQ(read(0, "6149.14", 3), "00 00 00");

    ImageSnapshot unchanged;
    // 2147483647 * 16 + 15 does not fit in an int: no usable address.
    EXPECT_EQ(get(0, "2147483647.15", 4, &untouched), 0);
    EXPECT_EQ(set(0, "2147483647.15", hex("01"), 1), 0);
    EXPECT_EQ(get(0, "-1.5", 1, &untouched), 0);
    EXPECT_EQ(untouched, QByteArray("keep"));
    // 134217727.15 is exactly INT_MAX as a bit number: valid, far past the area.
    EXPECT_EQ(read(0, "134217727.15", 2), "00 00");
    EXPECT_EQ(set(0, "134217727.15", hex("01 01"), 2), 1);
    // The last timer flag (bit 7 of the pattern), then one past the array.
    EXPECT_EQ(read(5, QString::number(T_FLAG_IMAGE_BYTES * 8 - 1), 2), "01 00");
    EXPECT_EQ(read(6, "2147483647", 2), "00 00");
    EXPECT_TRUE(unchanged.changes().empty());
}

TEST_F(HostileInput, CountsOfZeroNegativeAndHuge) {
    const struct {
        bool write;
        int reg_type, count, result;
    } rows[] = {
        {false, 11, 0, 1},
        {false, 11, -1, 1},
        {false, 0, INT_MIN, 1},
        {false, 5, -7, 1},
        {false, 11, INT_MAX, 0},
        {false, 0, INT_MAX, 0},
        {false, 5, INT_MAX, 0},
        {false, 13, INT_MAX / 2 + 1, 0},
        // Queued writes: counts below 1 and counts past the 16-bit address space.
        {true, 11, 0, 0},
        {true, 11, INT_MIN, 0},
        {true, 0, -5, 0},
        {true, 11, INT_MAX, 0},
        {true, 0, INT_MAX, 0},
    };
    ImageSnapshot before;
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.write << " " << r.reg_type << " x " << r.count);
        const QString address = r.reg_type == 0 ? "1.0" : "1";
        QByteArray out("keep");
        EXPECT_EQ(r.write ? set(r.reg_type, address, hex("0100"), r.count)
                          : get(r.reg_type, address, r.count, &out),
                  r.result);
        EXPECT_EQ(out, QByteArray("keep"));
    }
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
    // Store-only: the store takes what the buffer holds and nothing else.
    com.run_mode = 0;
    EXPECT_EQ(set(11, "100", hex("2143"), INT_MAX), 1);
    EXPECT_EQ(set(11, "200", hex("2143"), -1), 1);
    EXPECT_EQ(changed(before), Changes{at(ImageArea::D, 100)});
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
}

TEST_F(HostileInput, MissingAndEmptyBuffers) {
    QString text = "100";
    QByteArray value = hex("0700");
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
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
    // A missing name is only a missing name; an empty buffer queues zeros.
    EXPECT_EQ(SetRegisterData(nullptr, 11, &text, 1, &value, 1, 0, 0), 1);
    EXPECT_TRUE(PLC_driver.write_list.first().name.isEmpty());
    EXPECT_EQ(set(11, "100", QByteArray(), 2), 2);
    EXPECT_EQ(toHex(PLC_driver.write_list.at(1).value), "00 00 00 00");
    EXPECT_EQ(set(0, "1.3", QByteArray(), 2), 4);
    EXPECT_EQ(toHex(PLC_driver.write_list.at(3).value), "00");
    // ... and stores nothing.
    com.run_mode = 0;
    EXPECT_EQ(set(11, "100", QByteArray(), 2), 1);
    EXPECT_EQ(set(0, "1.3", QByteArray(), 2), 1);
    EXPECT_TRUE(before.changes().empty());
}

TEST_F(HostileInput, ScreenWritesReplaceQueuedOnesAndStopAtTheQueueLimit) {
    EXPECT_EQ(set(11, "100", hex("0100"), 1), 1); // returns the size of the write list
    EXPECT_EQ(set(11, "101", hex("0200"), 1), 2);
    EXPECT_EQ(set(11, "100", hex("0300"), 1), 3); // the head may be in flight: queued again
    EXPECT_EQ(set(11, "101", hex("0400"), 1), 3); // only the latest value is sent
    EXPECT_EQ(toHex(PLC_driver.write_list.at(1).value), "04 00");
    for (int a = 200; PLC_driver.write_list.size() < 1024; ++a)
        set(11, QString::number(a), hex("0100"), 1);
    EXPECT_EQ(set(11, "5000", hex("0100"), 1), 1024);
    EXPECT_EQ(set(0, "5000.01", hex("01"), 1), 1024);
    EXPECT_EQ(PLC_driver.write_list.last().address, 200 + 1020);
}

TEST_F(HostileInput, ReadReplyAtTheEndOfTheImageStoresOnlyWhatFits) {
    map_list[1] = Check_Plc{1, 1, 10};
    QList<VAR_DESC> vars;
    vars.append(VAR_DESC());
    vars[0].reg_type = 11;
    vars[0].addr_text = QString::number(D_IMAGE_WORDS - 1);
    vars[0].length = 2; // the second word lies past the image
    ASSERT_EQ(ReCreatReadVarList(&vars), 1);
    ASSERT_NE(ComCommunication(), nullptr);
    ImageSnapshot before;
    QByteArray reply = hex(kReadReplyHead) + hex("1234 5678");
    EXPECT_EQ(DataCom(&reply, reply.size())->result, 1);
    EXPECT_EQ(changed(before), Changes{at(ImageArea::D, D_IMAGE_WORDS - 1)});
    EXPECT_EQ(PLC_driver.d_image[D_IMAGE_WORDS - 1], 0x1234);
}

// No exception reaches the host: each entry point gives its "nothing done" answer.
TEST_F(HostileInput, FailedAllocationsNeverReachTheHost) {
    com.multi_station = 1; // store entries are then allocated by reads and replies
    map_list[1] = Check_Plc{1, 1, 10};
    RW_VAR v = RW_VAR();
    v.reg_type = 11;
    v.addr_text = "5";
    v.station = v.length = 1;
    QList<VAR_DESC> vars{VAR_DESC()};
    vars[0].reg_type = 11;
    vars[0].addr_text = "5";
    vars[0].length = 1;
    QString name = "n", text = "5";
    QByteArray out, value = hex("0700");
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
    ASSERT_NE(ComCommunication(), nullptr);
    QByteArray reply = hex(kReadReplyHead) + hex("1234");
    EXPECT_EQ(withAllocationsFailing([&] { return DataCom(&reply, reply.size())->result; }), 0);
    EXPECT_EQ(PLC_driver.protocol_list.size(), 1); // sent again next turn
}

} // namespace
