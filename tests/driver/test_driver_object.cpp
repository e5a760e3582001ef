// The driver object after load, and the names the host resolves.
#include <dlfcn.h>

#include <QStringList>
#include <algorithm>
#include <memory>
#include <tuple>

#include "driver_fixture.h"
#include "driver_object.h"

namespace {

TEST(DriverObject, StartsAsAfterLoad) {
    EXPECT_EQ(std::make_tuple(PLC_driver.cur_kind, PLC_driver.comm_failed, PLC_driver.com_info,
                              map_list.size(), plc_add_number),
              std::make_tuple(100, 0, nullptr, 0u, 0));
    const char* first = reinterpret_cast<const char*>(PLC_driver.cio_image);
    const char* end = reinterpret_cast<const char*>(&PLC_driver.c_flag_image + 1);
    EXPECT_EQ(end - first, 99250);
    EXPECT_EQ(std::count(first, end, 0), end - first);
    // The image arrays close the object: after c_flag_image comes padding only.
    EXPECT_LT(reinterpret_cast<const char*>(&PLC_driver + 1) - end,
              static_cast<long>(alignof(Omron_Fins_TcpIP_Series)));
    COM_INFO com = {};
    com.com_state = 5;
    SetComInfo(&com); // hands over the block, offline until a good reply
    EXPECT_EQ(std::make_tuple(PLC_driver.com_info, com.offline, com.com_state),
              std::make_tuple(&com, 1, 0));
    std::fill(const_cast<char*>(first), const_cast<char*>(end), 0x5A);
    ResetDriverState(); // as after load again: block gone, every image byte 0
    EXPECT_EQ(PLC_driver.com_info, nullptr);
    EXPECT_EQ(std::count(first, end, 0), end - first);
    // At load the driver object is constructed before map_list: its constructor must
    // not touch that or any other global.
    map_list[3] = Check_Plc{1, 2, 3};
    plc_add_number = 3;
    std::unique_ptr<Omron_Fins_TcpIP_Series> other(new Omron_Fins_TcpIP_Series);
    EXPECT_EQ(std::make_tuple(map_list.size(), plc_add_number), std::make_tuple(1u, 3));
}

// The host resolves its entry points and data by plain name; internal functions are
// only reachable under their decorated names.
TEST(SymbolTable, HostEntryPointsArePlainAndInternalsDecorated) {
    // Open the library this test is linked with by its full path: a sanitizer's dlopen
    // interceptor hides the caller's RUNPATH, so a bare file name may not be found.
    Dl_info info = {};
    void* lib = nullptr;
    if (dladdr(reinterpret_cast<void*>(&QueryFinishFlag), &info) && info.dli_fname)
        lib = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
    if (!lib) lib = dlopen(DRIVER_LIBRARY_FILE, RTLD_NOW);
    ASSERT_NE(lib, nullptr) << dlerror();
    // Besides those the host program resolves (tests/e2e):
    const QStringList plain = QString("AddListReadVar AddListWriteVar PLCAddressChangeIntef "
                                      "PLC_driver map_list plc_add_number LB LW RWI "
                                      "_ZN23Omron_Fins_TcpIP_SeriesC1Ev")
                                  .split(' ');
    for (const QString& name : plain)
        EXPECT_NE(dlsym(lib, name.toLatin1().constData()), nullptr) << name.toStdString();
    // Plain name absent, decorated name present.
    const QStringList internal =
        QString("ReadAnalog _Z10ReadAnalogP6RW_VAR CalSUM _Z6CalSUMPht WriteDataToLocal "
                "_Z16WriteDataToLocalP6RW_VAR passRetValue _Z12passRetValueRK6RW_VARRS_ "
                "OMRON_HandShake _Z15OMRON_HandShakev StringAddressToInt "
                "_Z18StringAddressToInti7QString ExtendFindSameVar _Z17ExtendFindSameVariii "
                "CheckGetData _Z12CheckGetDataP10QByteArrayi")
            .split(' ');
    for (int i = 0; i < internal.size(); i += 2) {
        EXPECT_EQ(dlsym(lib, internal[i].toLatin1().constData()), nullptr) << i;
        EXPECT_NE(dlsym(lib, internal[i + 1].toLatin1().constData()), nullptr) << i;
    }
    // What only the driver's peers use is not shipped in it: fins::endCodeText.
    EXPECT_EQ(dlsym(lib, "_ZN4fins11endCodeTextEj"), nullptr);
    dlclose(lib);
}

} // namespace
