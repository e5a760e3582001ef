// The driver object after load, and the names the host resolves.
#include <dlfcn.h>

#include <QStringList>
#include <memory>

#include "driver_fixture.h"
#include "driver_object.h"

namespace {

TEST(DriverObject, StartsAsAfterLoad) {
    EXPECT_EQ(PLC_driver.cur_kind, 100);
    EXPECT_EQ(PLC_driver.comm_failed, 0);
    EXPECT_EQ(PLC_driver.com_info, nullptr);
    EXPECT_TRUE(map_list.empty());
    EXPECT_EQ(plc_add_number, 0);
    const unsigned char* first = reinterpret_cast<const unsigned char*>(PLC_driver.cio_image);
    const unsigned char* end = reinterpret_cast<const unsigned char*>(PLC_driver.c_flag_image) +
                               sizeof PLC_driver.c_flag_image;
    EXPECT_EQ(end - first, 99250);
    for (const unsigned char* p = first; p != end; ++p)
        ASSERT_EQ(*p, 0) << (p - first);
    COM_INFO com = {};
    com.com_state = 5;
    SetComInfo(&com); // hands over the block, offline until a good reply
    EXPECT_EQ(PLC_driver.com_info, &com);
    EXPECT_EQ(com.offline, 1);
    EXPECT_EQ(com.com_state, 0);
    ResetDriverState(); // as after load again
    EXPECT_EQ(PLC_driver.com_info, nullptr);
}

// At load the driver object is constructed before map_list: its constructor must not
// touch that or any other global.
TEST(DriverObject, ConstructionLeavesOtherGlobalsAlone) {
    map_list[3] = Check_Plc{1, 2, 3};
    plc_add_number = 3;
    std::unique_ptr<Omron_Fins_TcpIP_Series> other(new Omron_Fins_TcpIP_Series);
    EXPECT_EQ(map_list.size(), 1u);
    EXPECT_EQ(plc_add_number, 3);
}

// The image arrays close the driver object: after c_flag_image comes padding only.
TEST(DriverObject, ImageArraysAreTheLastMembers) {
    const char* flags_end = reinterpret_cast<const char*>(&PLC_driver.c_flag_image + 1);
    const char* object_end = reinterpret_cast<const char*>(&PLC_driver + 1);
    EXPECT_LT(object_end - flags_end, static_cast<long>(alignof(Omron_Fins_TcpIP_Series)));
}

// The host resolves its entry points by plain name; internal functions are only
// reachable under their decorated names.
TEST(SymbolTable, HostEntryPointsArePlainAndInternalsDecorated) {
    // Open the library this test is linked with by its full path: a sanitizer's dlopen
    // interceptor hides the caller's RUNPATH, so a bare file name may not be found.
    Dl_info info = {};
    void* lib = nullptr;
    if (dladdr(reinterpret_cast<void*>(&QueryFinishFlag), &info) && info.dli_fname)
        lib = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    if (!lib) lib = dlopen(DRIVER_LIBRARY_FILE, RTLD_NOW);
    ASSERT_NE(lib, nullptr) << dlerror();
    const QStringList plain = QString("SetComInfo RegistCallBackFuncIntf FlashLocalRegister "
                                      "QueryFinishFlag AddListReadVar ReCreatReadVarList "
                                      "AddListWriteVar AddListOnceReadVar PLCAddressChangeIntef "
                                      "ComCommunication DataCom GetRegisterData SetRegisterData "
                                      "PLC_driver map_list plc_add_number LB LW RWI")
                                  .split(' ');
    for (const QString& name : plain)
        EXPECT_NE(dlsym(lib, name.toLatin1().constData()), nullptr) << name.toStdString();
    // Plain name absent, decorated name present.
    const char* internal[][2] = {{"ReadAnalog", "_Z10ReadAnalogP6RW_VAR"},
                                 {"CalSUM", "_Z6CalSUMPht"},
                                 {"WriteDataToLocal", "_Z16WriteDataToLocalP6RW_VAR"},
                                 {"passRetValue", "_Z12passRetValueRK6RW_VARRS_"},
                                 {"OMRON_HandShake", "_Z15OMRON_HandShakev"},
                                 {"StringAddressToInt", "_Z18StringAddressToInti7QString"},
                                 {"ExtendFindSameVar", "_Z17ExtendFindSameVariii"},
                                 {"CheckGetData", "_Z12CheckGetDataP10QByteArrayi"}};
    for (const auto& d : internal) {
        EXPECT_EQ(dlsym(lib, d[0]), nullptr) << d[0];
        EXPECT_NE(dlsym(lib, d[1]), nullptr) << d[1];
    }
    EXPECT_NE(dlsym(lib, "_ZN23Omron_Fins_TcpIP_SeriesC1Ev"), nullptr);
    dlclose(lib);
}

} // namespace
