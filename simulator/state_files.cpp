#include "state_files.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace vorkal::sim {

namespace {

constexpr size_t kMaxStateFile = 1 << 20;

bool Exists(const std::string& path) {
    struct stat st {};
    return !path.empty() && stat(path.c_str(), &st) == 0;
}

bool ReadFile(const std::string& path, std::string& data, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    data = buffer.str();
    if (data.size() > kMaxStateFile) {
        if (error) *error = path + " is far too large for a state file";
        return false;
    }
    return true;
}

bool WriteFile(const std::string& path, const std::string& data, std::string* error) {
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(data.data(), std::streamsize(data.size()));
        if (!out.flush()) {
            if (error) *error = "cannot write " + temp;
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        if (error) *error = "cannot replace " + path;
        return false;
    }
    return true;
}

// Next PBM header token, skipping white space and comments.
bool PbmToken(const std::string& data, size_t& pos, std::string& token) {
    token.clear();
    while (pos < data.size()) {
        if (data[pos] == '#') {
            while (pos < data.size() && data[pos] != '\n') ++pos;
        } else if (std::isspace(uint8_t(data[pos]))) {
            ++pos;
        } else {
            break;
        }
    }
    while (pos < data.size() && !std::isspace(uint8_t(data[pos])) && data[pos] != '#') token += data[pos++];
    return !token.empty();
}

bool PbmNumber(const std::string& data, size_t& pos, int& value) {
    std::string token;
    if (!PbmToken(data, pos, token) || token.size() > 6) return false;
    if (!std::all_of(token.begin(), token.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    value = std::stoi(token);
    return true;
}

}  // namespace

StateFiles StateFilesIn(const std::string& dir) {
    return {dir + "/config.bin", dir + "/log.bin", dir + "/flash.bin", dir + "/screen.pbm", dir + "/telemetry.txt"};
}

std::string FramebufferToPbm(const Framebuffer& screen) {
    std::string out = "P4\n" + std::to_string(screen.width) + " " + std::to_string(screen.height) + "\n";
    for (int y = 0; y < screen.height; ++y)
        for (int x = 0; x < screen.width; x += 8) {
            uint8_t bits = 0;
            for (int b = 0; b < 8; ++b)
                if (screen.pixel(x + b, y)) bits |= uint8_t(0x80 >> b);
            out += char(bits);
        }
    return out;
}

bool PbmToFramebuffer(const std::string& data, Framebuffer& screen, std::string* error) {
    size_t pos = 0;
    std::string magic;
    int width = 0, height = 0;
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    if (!PbmToken(data, pos, magic) || (magic != "P1" && magic != "P4")) return fail("not a PBM picture");
    if (!PbmNumber(data, pos, width) || !PbmNumber(data, pos, height)) return fail("PBM size missing");
    if (width != screen.width || height != screen.height)
        return fail("PBM is " + std::to_string(width) + " x " + std::to_string(height) + ", the screen " +
                    std::to_string(screen.width) + " x " + std::to_string(screen.height));
    Framebuffer result = screen;
    if (magic == "P4") {
        ++pos;  // the single white-space character before the raster
        const size_t rowBytes = size_t(width + 7) / 8;
        if (data.size() < pos + rowBytes * size_t(height)) return fail("PBM raster too short");
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                result.setPixel(x, y, uint8_t(data[pos + size_t(y) * rowBytes + size_t(x / 8)]) & (0x80 >> (x % 8)));
    } else {
        for (int i = 0; i < width * height; ++i) {
            while (pos < data.size() && data[pos] != '0' && data[pos] != '1') {
                if (!std::isspace(uint8_t(data[pos]))) return fail("PBM raster holds something else than 0 and 1");
                ++pos;
            }
            if (pos >= data.size()) return fail("PBM raster too short");
            result.setPixel(i % width, i / width, data[pos++] == '1');
        }
    }
    screen = result;
    return true;
}

bool LoadStateFiles(const StateFiles& files, DisplayMemory& memory, std::string* error) {
    std::string data;
    if (Exists(files.config)) {
        if (!ReadFile(files.config, data, error)) return false;
        if (data.size() != 512 && data.size() != 1024) {
            if (error)
                *error =
                    files.config + ": a settings memory file has 512 or 1024 bytes, not " + std::to_string(data.size());
            return false;
        }
        std::copy(data.begin(), data.end(), memory.config.begin());
    }
    if (Exists(files.log)) {
        if (!ReadFile(files.log, data, error)) return false;
        if (data.size() > memory.log.size()) {
            if (error) *error = files.log + ": more than 32768 bytes";
            return false;
        }
        std::fill(memory.log.begin(), memory.log.end(), 0xFF);
        std::copy(data.begin(), data.end(), memory.log.begin());
    }
    if (Exists(files.flash)) {
        if (!ReadFile(files.flash, data, error)) return false;
        if (data.size() > memory.flash.size()) {
            if (error) *error = files.flash + ": more than 32768 bytes";
            return false;
        }
        std::fill(memory.flash.begin(), memory.flash.end(), 0xFF);
        std::copy(data.begin(), data.end(), memory.flash.begin());
        memory.version = VersionFromImage(memory.flash.data(), memory.flash.size());
    }
    if (Exists(files.screen)) {
        if (!ReadFile(files.screen, data, error)) return false;
        std::string why;
        if (!PbmToFramebuffer(data, memory.screen, &why)) {
            if (error) *error = files.screen + ": " + why;
            return false;
        }
    }
    if (Exists(files.telemetry)) {
        if (!ReadFile(files.telemetry, data, error)) return false;
        std::istringstream in(data);
        std::string line;
        while (std::getline(in, line))
            if (!line.empty()) memory.addTelemetryLine(line);
    }
    return true;
}

bool SaveStateFiles(const StateFiles& files, const DisplayMemory& memory, std::string* error) {
    bool ok = true;
    auto save = [&](const std::string& path, const std::string& data) {
        if (!path.empty() && !WriteFile(path, data, error)) ok = false;
    };
    save(files.config, std::string(memory.config.begin(), memory.config.end()));
    if (memory.hasLogMemory())
        save(files.log, std::string(memory.log.begin(), memory.log.begin() + 16 * memory.logRecordCount()));
    save(files.flash, std::string(memory.flash.begin(), memory.flash.end()));
    save(files.screen, FramebufferToPbm(memory.screen));
    std::string lines;
    for (const auto& line : memory.telemetry) lines += line + '\n';
    save(files.telemetry, lines);
    return ok;
}

}  // namespace vorkal::sim
