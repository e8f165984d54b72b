#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

// Every test process runs in a station folder of its own, so settings, logs and configuration
// files of one run never meet those of another.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    ilktest::temp_dir home;
    setenv("ILKSTATION_HOME", home.path().c_str(), 1);
    return RUN_ALL_TESTS();
}
