#include "test_support.h"
TEST(Smoke, Loads) { EXPECT_EQ(TindrelSim_loadDefaultRig(), TINDREL_OK); }
