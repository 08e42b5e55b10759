// Entry point of the full-disk tests: the process moves into a mount namespace of its
// own before any thread starts, then runs like the other window tests.
#include <QApplication>
#include <gtest/gtest.h>

#include "small_file_system.h"
#include "test_process_home.h"

int main(int argc, char** argv) {
    vorkal::testing::MountNamespaceUnavailable() = vorkal::testing::EnterPrivateMountNamespace();
    vorkal::testing::TestProcessHome home;  // before Qt looks up its folders
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
