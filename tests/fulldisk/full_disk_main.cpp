// Entry point of the full-disk tests: the process moves into a mount namespace of its
// own before any thread starts, then runs like the other window tests.
#include "qt_test_program.h"
#include "small_file_system.h"

int main(int argc, char** argv) {
    vorkal::testing::MountNamespaceUnavailable() = vorkal::testing::EnterPrivateMountNamespace();
    return vorkal::testing::RunQtTestProgram(argc, argv);
}
