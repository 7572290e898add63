#include <gtest/gtest.h>
#include "synth/synth.hpp"
TEST(Synth, Placeholder) { EXPECT_TRUE(karvona::synth::IsValidIsoCode("CSQU3054383")); }
