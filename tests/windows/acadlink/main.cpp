// The link's Windows tests. Started with --child, the program is instead a
// second AutoCAD look-alike process for the cross-process cases.
#include <gtest/gtest.h>

#include <cstring>

#include "test_windows.h"

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0) return linktest::RunChild(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
