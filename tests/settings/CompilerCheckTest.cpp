// The settings lines are held as an array of optional texts, and a compiler that drops stores into such an
// array crashed the settings dialog at its first start in a Release build. The configuration finds the fault
// and builds around it; this runs the reduced case again with the flags the program itself is built with.
#include <gtest/gtest.h>

bool optionalArrayCompiledRight();

TEST(CompilerCheck, ArrayOfOptionalTextsKeepsEveryStoreWithTheProgramsFlags) {
  EXPECT_TRUE(optionalArrayCompiledRight());
}
