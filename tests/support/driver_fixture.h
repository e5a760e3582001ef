// The gtest face of DriverSession: every test starts from a reset driver with the
// default settings, which a test may change through `com` before it acts.
#ifndef DRIVER_FIXTURE_H
#define DRIVER_FIXTURE_H

#include <gtest/gtest.h>

#include "driver_session.h"

class DriverTest : public ::testing::Test, public DriverSession {};

#endif
