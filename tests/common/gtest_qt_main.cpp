// GoogleTest entry point for tests that need a QApplication (widgets, timers, events).
#include "qt_test_program.h"

int main(int argc, char** argv) { return vorkal::testing::RunQtTestProgram(argc, argv); }
