// Every entry point called before the host has handed over its communication block:
// a defined answer, no crash, and nothing changed in the lists or the image. This is
// the one list of before-setup answers.
#include "Func_DealData.h"
#include "Func_GetOrSetData.h"
#include "driver_fixture.h"
#include "image_snapshot.h"

namespace {

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
