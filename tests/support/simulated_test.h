// A test that starts and ends with an empty simulated machine and catalogue.
#pragma once

#include "support/simulated_setup.h"

#include <gtest/gtest.h>

class SimulatedTest : public ::testing::Test {
protected:
    void SetUp() override { resetEverything(); }
    void TearDown() override { resetEverything(); }
};
