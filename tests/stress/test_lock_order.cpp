// The lock wrapper makes the driver's QMutexes visible to ThreadSanitizer: taking
// data_mutex and then list_mutex, against the driver's order, is reported. Only in a
// TSan build; the report ends the child process that the death test runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "driver_lock.h"
#include "omron_fins_tcpip.h"

namespace {

#ifdef DRIVER_TSAN
void takeBothInTheDriversOrderThenReversed() {
    std::thread([] {
        DriverLock list(PLC_driver.list_mutex);
        DriverLock data(PLC_driver.data_mutex);
    }).join();
    std::thread([] {
        DriverLock data(PLC_driver.data_mutex);
        DriverLock list(PLC_driver.list_mutex);
    }).join();
    std::exit(0);
}

TEST(LockAnnouncements, ThreadSanitizerSeesAnInvertedLockOrder) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(takeBothInTheDriversOrderThenReversed(), ::testing::ExitedWithCode(66),
                "lock-order-inversion");
}
#endif

} // namespace
