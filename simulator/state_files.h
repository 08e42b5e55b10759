#pragma once
// State files of the virtual display: loaded at start, written on request and at exit.

#include <string>

#include "display_memory.h"

namespace vorkal::sim {

// Empty paths are not used.
struct StateFiles {
    std::string config;     // settings memory, 1024 bytes (512 accepted on loading)
    std::string log;        // log memory, 16 bytes per record of the variant
    std::string flash;      // program flash, up to 32768 bytes
    std::string screen;     // framebuffer as a PBM picture
    std::string telemetry;  // telemetry lines received, one per line

    bool empty() const { return config.empty() && log.empty() && flash.empty() && screen.empty() && telemetry.empty(); }
};

// config.bin, log.bin, flash.bin, screen.pbm, telemetry.txt in `dir`.
StateFiles StateFilesIn(const std::string& dir);

// Loads the files that exist; false with a message for a file that is unreadable or
// of the wrong size or form (memory is then left as it was for that file).
bool LoadStateFiles(const StateFiles& files, DisplayMemory& memory, std::string* error);

// Writes every named file (each through a temporary file, so a crash never leaves half
// a file behind).
bool SaveStateFiles(const StateFiles& files, const DisplayMemory& memory, std::string* error);

// Binary PBM (P4) of the screen, and back (P1 and P4 are read).
std::string FramebufferToPbm(const Framebuffer& screen);
bool PbmToFramebuffer(const std::string& data, Framebuffer& screen, std::string* error);

}  // namespace vorkal::sim
