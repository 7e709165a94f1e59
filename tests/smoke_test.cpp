#include <gtest/gtest.h>
#include "module/song.h"
TEST(Smoke, Builds) { EXPECT_EQ(sizeof(PatternCell), 5u); }
