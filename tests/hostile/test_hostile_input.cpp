// Careless and hostile input from the host: addresses at and past the end of every
// area and at the limits of int, counts of 0, -1 and huge, missing buffers, a reply
// that reaches past the image, failed allocations, and calls before setup. Each gets a
// defined result, and the image changes only where the request says (image_snapshot.h).
#include <climits>
#include <cstdlib>
#include <functional>
#include <new>

#include "Func_DealData.h"
#include "Func_GetOrSetData.h"
#include "Func_Remote.h"
#include "driver_fixture.h"
#include "fins_peer.h"
#include "image_snapshot.h"

// While set, every operator new of the process fails, as when memory runs out. All
// forms are replaced so that new and delete always pair malloc with free.
static bool fail_allocations = false;

void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
    return fail_allocations ? nullptr : std::malloc(n ? n : 1);
}
void* operator new(std::size_t n) {
    void* p = ::operator new(n, std::nothrow);
    if (!p) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t n) {
    return ::operator new(n);
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

// Answer to a read of D5 x1 (or more) from node 1 to node 10: header, end code 0, data.
const char kReadReplyHead[] =
    "46494E53 0000001A 00000002 00000000 C0000200 0A000001 0000 0101 0000";

using Units = std::vector<int>;

class HostileInput : public DriverTest {
  protected:
    void SetUp() override { ImageSnapshot::fill(); }
    static int unitOf(const void* p) { return ImageSnapshot::unitOf(p); }

    static int get(int type, QString address, int count, QByteArray* out) {
        return GetRegisterData(nullptr, type, &address, 1, out, count);
    }
    static std::string read(int type, const QString& address, int count) {
        QByteArray out;
        return get(type, address, count, &out) == 1 ? toHex(out) : "refused";
    }
    static int set(int type, QString address, QByteArray value, int count) {
        QString name = "n";
        return SetRegisterData(&name, type, &address, 1, &value, count, 0, 0);
    }
};

// The store-only path (run_mode 0) writes the image at once; reads come from it.
TEST_F(HostileInput, WordAreasStopAtTheirEnd) {
    const Omron_Fins_TcpIP_Series& d = PLC_driver;
    // The word areas of types 7 to 13.
    const std::pair<const unsigned short*, int> areas[] = {
        {d.cio_image, CIO_IMAGE_WORDS},  {d.w_image, W_IMAGE_WORDS},
        {d.h_image, H_IMAGE_WORDS},      {d.a_image, A_IMAGE_WORDS},
        {d.d_image, D_IMAGE_WORDS},      {d.t_pv_image, T_PV_IMAGE_WORDS},
        {d.c_pv_image, C_PV_IMAGE_WORDS}};
    com.run_mode = 0;
    for (int type = 7; type <= 13; ++type) {
        SCOPED_TRACE(fins::mnemonicOf(type));
        const int words = areas[type - 7].second;
        const QString last = QString::number(words - 1);
        ImageSnapshot before;
        // Two words from the last one: the first is stored, the second has no place.
        EXPECT_EQ(set(type, last, hex("3412 7856"), 2), 1);
        EXPECT_EQ(before.changes(), Units{unitOf(areas[type - 7].first + words - 1)});
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
    EXPECT_EQ(before.changes(), Units{unitOf(&PLC_driver.cio_image[CIO_IMAGE_WORDS - 1])});
    EXPECT_EQ(PLC_driver.cio_image[CIO_IMAGE_WORDS - 1], 0x25A5);
    EXPECT_EQ(read(0, "6149.14", 3), "00 00 00");

    ImageSnapshot unchanged;
    QByteArray untouched("keep");
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

// Reads, then queued writes: counts below 1 and bit counts past the 16-bit address space.
TEST_F(HostileInput, CountsOfZeroNegativeAndHuge) {
    const struct {
        bool write;
        int reg_type, count, result;
    } rows[] = {{false, 11, 0, 1},       {false, 11, -1, 1},
                {false, 0, INT_MIN, 1},  {false, 5, -7, 1},
                {false, 11, INT_MAX, 0}, {false, 0, INT_MAX, 0},
                {false, 5, INT_MAX, 0},  {false, 13, INT_MAX / 2 + 1, 0},
                {true, 11, INT_MIN, 0},  {true, 0, -5, 0},
                {true, 0, INT_MAX, 0}};
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
    EXPECT_TRUE(PLC_driver.write_list.isEmpty() && before.changes().empty());
}

TEST_F(HostileInput, MissingAndEmptyBuffersAndTheScreenWriteQueue) {
    QString text = "100";
    QByteArray value = hex("0700");
    ImageSnapshot before;
    EXPECT_EQ(GetRegisterData(nullptr, 11, &text, 1, nullptr, 1), 0);
    EXPECT_EQ(GetRegisterData(nullptr, 11, nullptr, 1, &value, 1), 0);
    EXPECT_EQ(SetRegisterData(nullptr, 11, &text, 1, nullptr, 1, 0, 0), 0);
    EXPECT_EQ(SetRegisterData(nullptr, 11, nullptr, 1, &value, 1, 0, 0), 0);
    EXPECT_EQ(AddListWriteVar(nullptr, 0) + AddListWriteVar(nullptr, 1), 0);
    EXPECT_EQ(AddListOnceReadVar(nullptr, 0) + AddListReadVar(nullptr), 0);
    EXPECT_EQ(ReCreatReadVarList(nullptr), 0);
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
    // A missing name is only a missing name; an empty buffer queues zeros.
    EXPECT_EQ(SetRegisterData(nullptr, 11, &text, 1, &value, 1, 0, 0), 1);
    EXPECT_TRUE(PLC_driver.write_list.first().name.isEmpty());
    EXPECT_EQ(set(11, "100", QByteArray(), 2), 2);
    EXPECT_EQ(toHex(PLC_driver.write_list.at(1).value), "00 00 00 00");
    EXPECT_EQ(set(0, "1.3", QByteArray(), 2), 4);
    EXPECT_EQ(toHex(PLC_driver.write_list.at(3).value), "00");
    EXPECT_TRUE(before.changes().empty());
    // A later write replaces a queued one of its place, but never the head, which may be
    // in flight; the queue stops at 1024 entries, for bits too.
    EXPECT_EQ(set(11, "100", hex("0300"), 1), 5);
    EXPECT_EQ(set(11, "100", hex("0400"), 1), 5);
    EXPECT_EQ(toHex(PLC_driver.write_list.at(0).value) + toHex(PLC_driver.write_list.at(4).value),
              "07 0004 00");
    for (int a = 200; PLC_driver.write_list.size() < 1024; ++a)
        set(11, QString::number(a), hex("0100"), 1);
    EXPECT_EQ(set(11, "5000", hex("0100"), 1), 1024);
    EXPECT_EQ(set(0, "5000.01", hex("01"), 1), 1024);
    EXPECT_EQ(PLC_driver.write_list.last().address, 200 + 1018);
}

// No exception reaches the host: each entry point gives its "nothing done" answer.
TEST_F(HostileInput, FailedAllocationsNeverReachTheHost) {
    com.multi_station = 1; // store entries are then allocated by reads and replies
    map_list[1] = Check_Plc{1, 1, 10};
    RW_VAR v = {0, 0, 0, 0, 0, 0, "", "5", 11, 0, 1, 1, 0, 0, QByteArray()}; // D5 x1
    QList<VAR_DESC> vars{VAR_DESC()};
    vars[0].reg_type = 11;
    vars[0].addr_text = "5";
    vars[0].length = 1;
    QString name = "n", text = "5";
    QByteArray out, value = hex("0700"), reply = hex(kReadReplyHead) + hex("1234");
    const auto failing = [](const std::function<long long()>& call) {
        fail_allocations = true;
        const long long result = call();
        fail_allocations = false;
        return result;
    };
    ASSERT_EQ(AddListReadVar(&v), 1);
    EXPECT_EQ(failing([&] { return AddListWriteVar(&v, 0) + AddListOnceReadVar(&v, 0); }), 0);
    EXPECT_EQ(failing([&] { return AddListReadVar(&v) + ReCreatReadVarList(&vars); }), 0);
    EXPECT_TRUE(PLC_driver.read_list.isEmpty());
    EXPECT_EQ(failing([&] { return GetRegisterData(0, 11, &text, 1, &out, 1); }), 0);
    EXPECT_EQ(failing([&] { return SetRegisterData(&name, 11, &text, 1, &value, 1, 0, 0); }), 0);
    ASSERT_EQ(AddListReadVar(&v), 1);
    EXPECT_EQ(failing([] { return ComCommunication() != nullptr; }), 0);
    ASSERT_NE(ComCommunication(), nullptr);
    EXPECT_EQ(failing([&] { return DataCom(&reply, reply.size())->result; }), 0);
    EXPECT_EQ(PLC_driver.protocol_list.size(), 1); // sent again next turn
}

// Every entry point called before the host has handed over its communication block:
// a defined answer, no crash, and nothing changed in the lists or the image. This is
// the one list of before-setup answers.
TEST(BeforeSetComInfo, EveryEntryPointAnswersAndChangesNothing) {
    ResetDriverState();
    ImageSnapshot::fill();
    const ImageSnapshot image;
    QString d100 = "100", bit = "100.05";
    QByteArray buffer("untouched"), value = hex("3412");
    QByteArray reply =
        hex("46494E53 00000018 00000002 00000000 C0000200 0A000001 0000 0101 0000 1234");
    QList<VAR_DESC> vars{VAR_DESC()};
    vars[0].reg_type = 11;
    vars[0].addr_text = "100";
    RW_VAR v = {0, 0, 0, 0, 0, 0, "", "100", 11, 100, 1, 1, 0, 0, value}; // D100 x1
    Protocol staged = Protocol(); // a frame of D100 x1 as if outstanding
    staged.p_aux1 = 30;
    staged.p_aux2 = 2;
    staged.var = v;
    EXPECT_EQ(QueryFinishFlag(), 1);
    EXPECT_EQ(PLCAddressChangeIntef(0, "100.05"), 1605); // pure
    EXPECT_EQ(ComCommunication(), nullptr);
    EXPECT_EQ(DataCom(&reply, reply.size()), &PLC_driver.cur_var);
    EXPECT_EQ(PLC_driver.cur_var.result, 1);
    EXPECT_EQ(DataCom(nullptr, 32)->result, 1);
    EXPECT_EQ(ReCreatReadVarList(&vars) + AddListReadVar(&v), 0);
    EXPECT_EQ(AddListWriteVar(&v, 0) + AddListWriteVar(&v, 1), 0);
    EXPECT_EQ(AddListOnceReadVar(&v, 0) + AddListOnceReadVar(&v, 1), 0);
    EXPECT_EQ(GetRegisterData(nullptr, 11, &d100, 1, &buffer, 1) +
                  GetRegisterData(nullptr, 0, &bit, 1, &buffer, 1),
              0);
    EXPECT_EQ(SetRegisterData(nullptr, 11, &d100, 1, &value, 1, 0, 0), 0);
    WriteDataToLocal(&v);
    WriteDataToLocal(nullptr);
    Remote_ReadVar(nullptr);
    Remote_WriteVar(nullptr);
    PLC_driver.protocol_list = {staged};
    SaveToLocalDataErea(&reply);
    SaveToLocalDataErea(nullptr);
    PLC_driver.protocol_list.clear();

    EXPECT_EQ(buffer, QByteArray("untouched"));
    const Omron_Fins_TcpIP_Series& d = PLC_driver;
    EXPECT_EQ(std::vector<int>({d.read_list.size(), d.write_list.size(), d.once_list.size(),
                                d.protocol_list.size(), d.extend_list.size(), int(map_list.size()),
                                d.cur_var.result, d.cur_kind, d.cur_var.name.size()}),
              std::vector<int>({0, 0, 0, 0, 0, 0, 1, 100, 0}));
    EXPECT_TRUE(image.changes().empty());

    // A frame left outstanding (put in place directly, as SetComInfo is the only way
    // in): DataCom still evaluates nothing without a block.
    staged.reply_len = 32;
    PLC_driver.protocol_list = {staged};
    map_list[0] = Check_Plc{1, 1, 10};
    EXPECT_EQ(DataCom(&reply, 32)->result, 1);
    EXPECT_EQ(PLC_driver.protocol_list.size(), 1);
    EXPECT_EQ(ComCommunication(), nullptr);
}

} // namespace
