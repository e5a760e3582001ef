// Every entry point called before the host has handed over its communication block:
// a defined answer, no crash, and nothing changed in the lists or the image.
#include <climits>
#include <functional>

#include "driver_fixture.h"
#include "image_snapshot.h"

namespace {

struct EntryRow {
    const char* name;
    std::function<long long()> call;
    long long expected;
};

RW_VAR record(int reg_type, const char* address, int length) {
    RW_VAR v = RW_VAR();
    v.reg_type = reg_type;
    v.addr_text = address;
    v.address = 100;
    v.station = 1;
    v.length = length;
    v.value = QByteArray(2 * length, '\x11');
    return v;
}

long long pointer(const void* p) {
    return p ? 1 : 0;
}

TEST(BeforeSetComInfo, EveryEntryPointAnswersAndChangesNothing) {
    ASSERT_EQ(PLC_driver.com_info, nullptr);
    fillImagePattern();
    const ImageSnapshot image;
    QString d100 = "100", bit = "100.05";
    QByteArray buffer("untouched");
    QByteArray reply =
        hex("46494E53 00000018 00000002 00000000 C0000200 0A000001 0000 0101 0000 1234");
    QList<VAR_DESC> vars;
    VAR_DESC d = VAR_DESC();
    d.reg_type = 11;
    d.addr_text = "100";
    d.length = 4;
    vars.append(d);

    const EntryRow rows[] = {
        {"QueryFinishFlag", [] { return QueryFinishFlag(); }, 1},
        {"PLCAddressChangeIntef (pure)", [] { return PLCAddressChangeIntef(0, "100.05"); }, 1605},
        {"ComCommunication", [] { return pointer(ComCommunication()); }, 0},
        {"DataCom result", [&] { return DataCom(&reply, reply.size())->result; }, 1},
        {"DataCom with no reply", [] { return DataCom(nullptr, 32)->result; }, 1},
        {"DataCom returns cur_var",
         [&] { return DataCom(&reply, 32) == &PLC_driver.cur_var ? 1 : 0; }, 1},
        {"ReCreatReadVarList", [&] { return ReCreatReadVarList(&vars); }, 0},
        {"AddListReadVar",
         [] {
             RW_VAR v = record(11, "100", 1);
             return AddListReadVar(&v);
         },
         0},
        {"AddListWriteVar",
         [] {
             RW_VAR v = record(11, "100", 1);
             return AddListWriteVar(&v, 0);
         },
         0},
        {"AddListWriteVar direct",
         [] {
             RW_VAR v = record(11, "100", 1);
             return AddListWriteVar(&v, 1);
         },
         0},
        {"AddListOnceReadVar",
         [] {
             RW_VAR v = record(11, "100", 1);
             return AddListOnceReadVar(&v, 0);
         },
         0},
        {"AddListOnceReadVar direct",
         [] {
             RW_VAR v = record(11, "100", 1);
             return AddListOnceReadVar(&v, 1);
         },
         0},
        {"GetRegisterData word", [&] { return GetRegisterData(nullptr, 11, &d100, 1, &buffer, 1); },
         0},
        {"GetRegisterData bit", [&] { return GetRegisterData(nullptr, 0, &bit, 1, &buffer, 1); },
         0},
        {"SetRegisterData",
         [&] {
             QByteArray v = hex("3412");
             return SetRegisterData(nullptr, 11, &d100, 1, &v, 1, 0, 0);
         },
         0},
    };
    for (const EntryRow& row : rows)
        EXPECT_EQ(row.call(), row.expected) << row.name;

    EXPECT_EQ(buffer, QByteArray("untouched"));
    EXPECT_TRUE(PLC_driver.read_list.isEmpty());
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
    EXPECT_TRUE(PLC_driver.once_list.isEmpty());
    EXPECT_TRUE(PLC_driver.protocol_list.isEmpty());
    EXPECT_TRUE(PLC_driver.extend_list.isEmpty());
    EXPECT_TRUE(map_list.empty());
    EXPECT_EQ(PLC_driver.cur_var.result, 1);
    EXPECT_EQ(PLC_driver.cur_var.req_kind, 0);
    EXPECT_EQ(PLC_driver.cur_kind, 100);
    EXPECT_TRUE(PLC_driver.cur_var.name.isEmpty());
    EXPECT_TRUE(image.changes().empty());
}

// A frame left outstanding by a host that then withdraws its block (SetComInfo is the
// only way in, so a test puts the frame in place directly): DataCom still evaluates
// nothing without a block.
TEST(BeforeSetComInfo, DataComLeavesAnOutstandingFrameAlone) {
    Protocol p = Protocol();
    p.frame = QByteArray(34, 'x');
    p.send_len = 34;
    p.reply_len = 32;
    PLC_driver.protocol_list.append(p);
    map_list[0] = Check_Plc{1, 1, 10};
    QByteArray reply(32, '\0');
    EXPECT_EQ(DataCom(&reply, 32)->result, 1);
    EXPECT_EQ(PLC_driver.protocol_list.size(), 1);
    EXPECT_EQ(ComCommunication(), nullptr);
}

} // namespace
