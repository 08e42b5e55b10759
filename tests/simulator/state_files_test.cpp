#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "state_files.h"

using namespace vorkal::sim;

namespace {

std::string TempDir() {
    char pattern[] = "/tmp/vorkal-sim-state-XXXXXX";
    return mkdtemp(pattern);
}

void WriteBytes(const std::string& path, const std::string& data) { std::ofstream(path, std::ios::binary) << data; }

}  // namespace

TEST(StateFiles, RoundTripEveryFile) {
    const std::string dir = TempDir();
    const auto files = StateFilesIn(dir);
    DisplayMemory saved;
    saved.reset(SimVariant::D128x64, "v1.23");
    saved.config[700] = 0x5A;
    saved.log[32767] = 0x01;
    saved.flash[0x200] = 0x77;
    saved.screen.setPixel(0, 0, true);
    saved.screen.setPixel(127, 63, true);
    saved.screen.setPixel(9, 20, true);
    saved.addTelemetryLine("Azi=180 Ele=70 Dis=01345m");
    saved.addTelemetryLine(
        "T=04\xB0"
        "C");
    std::string error;
    ASSERT_TRUE(SaveStateFiles(files, saved, &error)) << error;

    DisplayMemory loaded;
    loaded.reset(SimVariant::D128x64, "v9.99");
    ASSERT_TRUE(LoadStateFiles(files, loaded, &error)) << error;
    EXPECT_EQ(loaded.config, saved.config);
    EXPECT_EQ(loaded.log, saved.log);
    EXPECT_EQ(loaded.flash, saved.flash);
    EXPECT_EQ(loaded.version, "v1.23");  // read back from the flash
    EXPECT_EQ(loaded.screen.pixels, saved.screen.pixels);
    EXPECT_EQ(loaded.telemetry, saved.telemetry);
    std::filesystem::remove_all(dir);
}

TEST(StateFiles, BadFilesAreRefusedWithAMessageAndChangeNothing) {
    const std::string dir = TempDir();
    struct Case {
        std::string file;
        std::string content;
        std::string message;
    };
    const Case cases[] = {
        {"config.bin", std::string(100, 'x'), "512 or 1024"},
        {"log.bin", std::string(32769, 'x'), "32768"},
        {"screen.pbm", "P4\n84 48\n", "too short"},
        {"screen.pbm", "P4\n128 64\n" + std::string(1024, 'x'), "the screen 84 x 48"},
        {"screen.pbm", "P3\n84 48\n", "not a PBM"},
        {"screen.pbm", "P1\n84 48\n0 1 2", "0 and 1"},
    };
    for (const auto& c : cases) {
        const auto files = StateFilesIn(dir);
        for (const auto& path : {files.config, files.log, files.flash, files.screen, files.telemetry})
            unlink(path.c_str());
        WriteBytes(dir + "/" + c.file, c.content);
        DisplayMemory memory;
        memory.reset(SimVariant::D84x48Log, "v1.23");
        const DisplayMemory before = memory;
        std::string error;
        EXPECT_FALSE(LoadStateFiles(files, memory, &error)) << c.file;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_EQ(memory.config, before.config);
        EXPECT_EQ(memory.log, before.log);
        EXPECT_EQ(memory.screen.pixels, before.screen.pixels);
    }
    std::filesystem::remove_all(dir);
}

TEST(StateFiles, PlainPbmIsReadToo) {
    Framebuffer screen;
    screen.resize(3, 2);
    std::string error;
    ASSERT_TRUE(PbmToFramebuffer("P1\n# comment\n3 2\n1 0 0\n0 0 1\n", screen, &error)) << error;
    EXPECT_TRUE(screen.pixel(0, 0));
    EXPECT_TRUE(screen.pixel(2, 1));
    EXPECT_EQ(screen.litCount(), 2);
}
