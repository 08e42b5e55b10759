#pragma once
// The body of a test program's main for tests that need a QApplication (widgets, timers,
// events): a private home before Qt looks up its folders, the offscreen platform unless
// another is asked for, then every GoogleTest case.

#include <QApplication>
#include <gtest/gtest.h>

#include "test_process_home.h"

namespace vorkal::testing {

inline int RunQtTestProgram(int argc, char** argv) {
    TestProcessHome home;
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

}  // namespace vorkal::testing
