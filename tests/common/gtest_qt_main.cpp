// GoogleTest entry point for tests that need a QApplication (widgets, timers, events).
#include <QApplication>
#include <gtest/gtest.h>

#include "test_process_home.h"

int main(int argc, char** argv) {
    vorkal::testing::TestProcessHome home;  // before Qt looks up its folders
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
