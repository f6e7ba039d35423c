// The link's Windows tests. Started with --child, the program is instead a
// second AutoCAD look-alike process for the cross-process cases.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/windows/support/test_windows.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0) return wintest::RunChild(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
