// Every entry point called before the host has handed over its communication block:
// a defined answer, no crash, and nothing changed in the lists or the image. This is
// the one table of before-setup answers.
#include <functional>

#include "Func_DealData.h"
#include "Func_GetOrSetData.h"
#include "driver_fixture.h"
#include "driver_object.h"
#include "image_snapshot.h"

namespace {

TEST(BeforeSetComInfo, EveryEntryPointAnswersAndChangesNothing) {
    ResetDriverState();
    fillImagePattern();
    const ImageSnapshot image;
    QString d100 = "100", bit = "100.05";
    QByteArray buffer("untouched"), value = hex("3412");
    QByteArray reply =
        hex("46494E53 00000018 00000002 00000000 C0000200 0A000001 0000 0101 0000 1234");
    QList<VAR_DESC> vars;
    vars.append(VAR_DESC());
    vars[0].reg_type = 11;
    vars[0].addr_text = "100";
    vars[0].length = 4;
    RW_VAR v = RW_VAR();
    v.reg_type = 11;
    v.addr_text = "100";
    v.address = 100;
    v.station = 1;
    v.length = 1;
    v.value = value;
    const auto staged = [&](QByteArray* r) {
        Protocol p = Protocol();
        p.p_aux1 = 30;
        p.p_aux2 = 2;
        p.var = v;
        PLC_driver.protocol_list.append(p);
        SaveToLocalDataErea(r);
        PLC_driver.protocol_list.clear();
        return 0;
    };
    const struct {
        const char* name;
        std::function<long long()> call;
        long long expected;
    } rows[] = {
        {"QueryFinishFlag", [] { return QueryFinishFlag(); }, 1},
        {"PLCAddressChangeIntef (pure)", [] { return PLCAddressChangeIntef(0, "100.05"); }, 1605},
        {"ComCommunication", [] { return ComCommunication() != nullptr; }, 0},
        {"DataCom result", [&] { return DataCom(&reply, reply.size())->result; }, 1},
        {"DataCom with no reply", [] { return DataCom(nullptr, 32)->result; }, 1},
        {"DataCom returns cur_var", [&] { return DataCom(&reply, 32) == &PLC_driver.cur_var; }, 1},
        {"ReCreatReadVarList", [&] { return ReCreatReadVarList(&vars); }, 0},
        {"AddListReadVar", [&] { return AddListReadVar(&v); }, 0},
        {"AddListWriteVar", [&] { return AddListWriteVar(&v, 0); }, 0},
        {"AddListWriteVar direct", [&] { return AddListWriteVar(&v, 1); }, 0},
        {"AddListOnceReadVar", [&] { return AddListOnceReadVar(&v, 0); }, 0},
        {"AddListOnceReadVar direct", [&] { return AddListOnceReadVar(&v, 1); }, 0},
        {"GetRegisterData word", [&] { return GetRegisterData(nullptr, 11, &d100, 1, &buffer, 1); },
         0},
        {"GetRegisterData bit", [&] { return GetRegisterData(nullptr, 0, &bit, 1, &buffer, 1); },
         0},
        {"SetRegisterData", [&] { return SetRegisterData(nullptr, 11, &d100, 1, &value, 1, 0, 0); },
         0},
        {"WriteDataToLocal", [&] { return WriteDataToLocal(&v), WriteDataToLocal(nullptr), 0; }, 0},
        {"SaveToLocalDataErea", [&] { return staged(&reply) + staged(nullptr); }, 0},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.call(), row.expected) << row.name;

    EXPECT_EQ(buffer, QByteArray("untouched"));
    EXPECT_TRUE(PLC_driver.read_list.isEmpty());
    EXPECT_TRUE(PLC_driver.write_list.isEmpty());
    EXPECT_TRUE(PLC_driver.once_list.isEmpty());
    EXPECT_TRUE(PLC_driver.protocol_list.isEmpty());
    EXPECT_TRUE(PLC_driver.extend_list.isEmpty());
    EXPECT_TRUE(map_list.empty());
    EXPECT_EQ(PLC_driver.cur_var.result, 1);
    EXPECT_EQ(PLC_driver.cur_kind, 100);
    EXPECT_TRUE(PLC_driver.cur_var.name.isEmpty());
    EXPECT_TRUE(image.changes().empty());

    // A frame left outstanding (put in place directly, as SetComInfo is the only way
    // in): DataCom still evaluates nothing without a block.
    Protocol p = Protocol();
    p.frame = QByteArray(34, 'x');
    p.reply_len = 32;
    PLC_driver.protocol_list.append(p);
    map_list[0] = Check_Plc{1, 1, 10};
    EXPECT_EQ(DataCom(&reply, 32)->result, 1);
    EXPECT_EQ(PLC_driver.protocol_list.size(), 1);
    EXPECT_EQ(ComCommunication(), nullptr);
}

} // namespace
