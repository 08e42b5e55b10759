#pragma once
// Every test process gets its own settings folder, runtime folder and port directory, so that test
// cases run side by side (one process each) never share the preference file or a COMn
// entry, and none of them touches the user's own. Removed again when the process ends.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

namespace vorkal::testing {

class TestProcessHome {
public:
    TestProcessHome() {
        setenv("QT_LOGGING_RULES", "qt.qpa.*=false", 0);  // the offscreen platform's chatter
        std::error_code ec;
        std::string pattern = (std::filesystem::temp_directory_path(ec) / "vorkal-test-XXXXXX").string();
        if (ec) pattern = "/tmp/vorkal-test-XXXXXX";
        if (!mkdtemp(pattern.data())) return;
        root_ = pattern;
        std::filesystem::create_directories(root_ / "config", ec);
        std::filesystem::create_directories(root_ / "ports", ec);
        std::filesystem::create_directories(root_ / "runtime", ec);
        std::filesystem::permissions(root_ / "runtime", std::filesystem::perms::owner_all, ec);
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root_ / "runtime").c_str(), 1);
        setenv("VORKAL_PORT_DIR", (root_ / "ports").c_str(), 1);
    }
    ~TestProcessHome() {
        std::error_code ec;
        if (!root_.empty()) std::filesystem::remove_all(root_, ec);
    }
    TestProcessHome(const TestProcessHome&) = delete;
    TestProcessHome& operator=(const TestProcessHome&) = delete;

private:
    std::filesystem::path root_;
};

}  // namespace vorkal::testing
