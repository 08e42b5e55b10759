// GoogleTest entry point for tests without a QApplication.
#include <gtest/gtest.h>

#include "test_process_home.h"

int main(int argc, char** argv) {
    vorkal::testing::TestProcessHome home;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
