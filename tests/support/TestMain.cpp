#include "TempDir.h"

#include <gtest/gtest.h>

// Every test program runs with the per-user folders pointed at a throw-away place, so a
// test that forgets to set them up still cannot touch the real home.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    tavrel::test::ScopedUserFolders userFolders;
    return RUN_ALL_TESTS();
}
