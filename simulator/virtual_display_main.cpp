// vorkal-virtual-display: plays a Vorkal display on a pseudo-terminal registered as
// COM<n>, so that the configurator can be used and tested without hardware.

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <pthread.h>
#include <string>

#include "state_files.h"
#include "virtual_display.h"

using namespace vorkal::sim;

namespace {

const char kUsage[] =
    "usage: vorkal-virtual-display [options]\n"
    "Plays a Vorkal display on a pseudo-terminal and registers it as COM<n> in the port\n"
    "directory ($VORKAL_PORT_DIR, else $XDG_RUNTIME_DIR/vorkal-ports, else\n"
    "/tmp/vorkal-ports-<uid>). Open that port in the configurator. Ctrl+C stops it;\n"
    "SIGUSR1 writes the state files, SIGUSR2 power-cycles the display.\n"
    "\n"
    "Display:\n"
    "  --com N              port number to register (default 99)\n"
    "  --port-dir DIR       port directory instead of the default\n"
    "  --variant V          84 (84 x 48, log in the settings), 84log (84 x 48 with log\n"
    "                       memory, default) or 128 (128 x 64)\n"
    "  --speed-index I      display speed: 0 57600 (default), 1 38400, 2 19200,\n"
    "                       3 9600, 4 4800; it only understands the PC at that speed\n"
    "  --pace               bytes take 10 bits at the display's speed, both ways\n"
    "  --boot-block N       block size the boot loader reports: 512 (default) or 1792\n"
    "  --firmware-version V version text of the firmware in flash (default v1.23)\n"
    "  --demo-log           start with a short recorded flight in the log\n"
    "  --trace              print every line in and out on standard error\n"
    "\n"
    "Faults (counts: how many of the next replies, -1 = all):\n"
    "  --drop-every N       leave every Nth command reply unsent\n"
    "  --corrupt-crc N      send N block reads with a wrong check byte\n"
    "  --refuse-writes N    refuse N configuration or log writes\n"
    "  --log-read-error N   answer N log reads with the memory error X\n"
    "  --reply-delay MS     send command replies MS milliseconds late\n"
    "  --hang-up-after N    close the line after N commands\n"
    "  --hang-up-in-program N  close the line at byte N of the firmware image stream\n"
    "  --hang-up-in-verify N   close the line at byte N of the verification stream\n"
    "  --refuse-boot-blocks N  answer N firmware blocks with 0xAB\n"
    "  --corrupt-flash      programmed bytes land wrong, so verification fails\n"
    "  --mute               answer nothing at all\n"
    "\n"
    "State files (loaded at start when they exist, written on SIGUSR1 and at exit):\n"
    "  --state-dir DIR      config.bin, log.bin, flash.bin, screen.pbm, telemetry.txt\n"
    "  --config-file F      settings memory (1024 bytes)\n"
    "  --log-file F         log memory\n"
    "  --flash-file F       program flash\n"
    "  --screen-file F      screen (PBM)\n"
    "  --telemetry-file F   telemetry lines received\n"
    "  --help               this text\n";

std::optional<int> ParseInt(const std::string& text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (*end) return std::nullopt;
    return int(value);
}

int Fail(const std::string& message) {
    std::cerr << "vorkal-virtual-display: " << message << "\n(see --help)\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    VirtualDisplayOptions options;
    StateFiles files;
    std::optional<int> speedIndex;
    std::map<std::string, int> faults;
    bool corruptFlash = false, mute = false;

    const std::map<std::string, std::string*> fileOptions = {{"--config-file", &files.config},
                                                             {"--log-file", &files.log},
                                                             {"--flash-file", &files.flash},
                                                             {"--screen-file", &files.screen},
                                                             {"--telemetry-file", &files.telemetry}};
    const char* const faultOptions[] = {"--drop-every",         "--corrupt-crc",        "--refuse-writes",
                                        "--log-read-error",     "--reply-delay",        "--hang-up-after",
                                        "--refuse-boot-blocks", "--hang-up-in-program", "--hang-up-in-verify"};

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) return std::nullopt;
            return std::string(argv[++i]);
        };
        auto number = [&](int low, int high) -> std::optional<int> {
            const auto text = value();
            const auto n = text ? ParseInt(*text) : std::nullopt;
            if (!n || *n < low || *n > high) return std::nullopt;
            return n;
        };
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (arg == "--com") {
            const auto n = number(1, 255);
            if (!n) return Fail("--com needs a port number 1..255");
            options.comNumber = *n;
        } else if (arg == "--port-dir") {
            const auto v = value();
            if (!v || v->empty()) return Fail("--port-dir needs a folder");
            options.portDir = *v;
        } else if (arg == "--variant") {
            const auto v = value().value_or("");
            if (v == "84") options.variant = SimVariant::D84x48;
            else if (v == "84log") options.variant = SimVariant::D84x48Log;
            else if (v == "128") options.variant = SimVariant::D128x64;
            else return Fail("--variant is 84, 84log or 128");
        } else if (arg == "--speed-index") {
            speedIndex = number(0, 4);
            if (!speedIndex) return Fail("--speed-index is 0..4");
        } else if (arg == "--pace") {
            options.pace = true;
        } else if (arg == "--boot-block") {
            const auto n = number(0, 65535);
            if (!n || (*n != 512 && *n != 1792)) return Fail("--boot-block is 512 or 1792");
            options.bootBlockSize = *n;
        } else if (arg == "--firmware-version") {
            const auto v = value().value_or("");
            if (!IsValidVersionText(v)) return Fail("--firmware-version looks like v1.23");
            options.version = v;
        } else if (arg == "--demo-log") {
            options.demoLog = true;
        } else if (arg == "--trace") {
            options.trace = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
        } else if (arg == "--corrupt-flash") {
            corruptFlash = true;
        } else if (arg == "--mute") {
            mute = true;
        } else if (arg == "--state-dir") {
            const auto v = value();
            if (!v || v->empty()) return Fail("--state-dir needs a folder");
            files = StateFilesIn(*v);
        } else if (fileOptions.count(arg)) {
            const auto v = value();
            if (!v || v->empty()) return Fail(arg + " needs a file name");
            *fileOptions.at(arg) = *v;
        } else if (std::find_if(std::begin(faultOptions), std::end(faultOptions),
                                [&](const char* f) { return arg == f; }) != std::end(faultOptions)) {
            const auto n = number(-1, 1000000);
            if (!n) return Fail(arg + " needs a number (-1 for all)");
            faults[arg] = *n;
        } else {
            return Fail("unknown option " + arg);
        }
    }

    VirtualDisplay display(options);
    std::string error;
    bool loaded = true;
    display.withMemory([&](DisplayMemory& memory) { loaded = LoadStateFiles(files, memory, &error); });
    if (!loaded) return Fail(error);
    // Without --speed-index the display runs at the speed kept in its settings memory.
    int stored = 0;
    display.withMemory([&](DisplayMemory& memory) { stored = memory.storedSpeedIndex(); });
    display.setSpeedIndex(speedIndex ? *speedIndex : stored);
    display.setDropEveryNthReply(faults["--drop-every"]);
    display.setCorruptCheckBytes(faults["--corrupt-crc"]);
    display.setRefuseWrites(faults["--refuse-writes"]);
    display.setLogReadErrors(faults["--log-read-error"]);
    display.setReplyDelayMs(faults["--reply-delay"]);
    display.setHangUpAfterCommands(faults["--hang-up-after"]);
    display.setRefuseBootBlocks(faults["--refuse-boot-blocks"]);
    display.setHangUpInBootStream(BootPass::Program, faults["--hang-up-in-program"]);
    display.setHangUpInBootStream(BootPass::Verify, faults["--hang-up-in-verify"]);
    display.setCorruptFlash(corruptFlash);
    display.setMute(mute);

    // Signals are taken synchronously below; the display's thread inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}) sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    if (!display.start(&error)) {
        std::cerr << "vorkal-virtual-display: " << error << "\n";
        return 1;
    }
    std::cout << "Virtual display " << display.versionLine() << " on COM" << display.comNumber() << " ("
              << display.slavePath() << (display.linkPath().empty() ? "" : ", " + display.linkPath()) << "), "
              << kSpeedRates[display.speedIndex()] << " baud" << std::endl;

    auto save = [&] {
        if (files.empty()) return true;
        bool ok = true;
        display.withMemory([&](DisplayMemory& memory) { ok = SaveStateFiles(files, memory, &error); });
        if (!ok) std::cerr << "vorkal-virtual-display: " << error << "\n";
        return ok;
    };
    while (true) {
        int sig = 0;
        if (sigwait(&signals, &sig) != 0) continue;
        if (sig == SIGUSR1) {
            save();
        } else if (sig == SIGUSR2) {
            display.reset();
        } else {
            break;
        }
    }
    display.stop();
    return save() ? 0 : 1;
}
