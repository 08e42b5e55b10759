#include "port_directory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace vorkal::sim {

namespace {

std::string ReadLink(const std::string& path) {
    char buffer[4096];
    const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer - 1);
    return n < 0 ? std::string() : std::string(buffer, size_t(n));
}

bool MakeDirectories(const std::string& dir) {
    std::string partial;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = dir.find('/', pos + 1);
        partial = dir.substr(0, pos);
        if (partial.empty()) continue;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string DefaultPortDirectory() {
    if (const char* dir = std::getenv("VORKAL_PORT_DIR"); dir && *dir) return dir;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string(runtime) + "/vorkal-ports";
    return "/tmp/vorkal-ports-" + std::to_string(getuid());
}

bool RegisterPort(const std::string& dir, int comNumber, const std::string& target, std::string* linkPath,
                  std::string* error) {
    if (!MakeDirectories(dir)) {
        if (error) *error = "cannot create the port directory " + dir + ": " + std::strerror(errno);
        return false;
    }
    const std::string link = dir + "/COM" + std::to_string(comNumber);
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        struct stat targetStat {};
        const bool live = stat(link.c_str(), &targetStat) == 0;
        if (live || !S_ISLNK(st.st_mode)) {
            if (error)
                *error = "COM" + std::to_string(comNumber) + " is already in use (" + link + " -> " + ReadLink(link) +
                         "); choose another number with --com";
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        if (error) *error = "cannot create " + link + ": " + std::strerror(errno);
        return false;
    }
    if (linkPath) *linkPath = link;
    return true;
}

void UnregisterPort(const std::string& linkPath, const std::string& target) {
    if (!linkPath.empty() && ReadLink(linkPath) == target) unlink(linkPath.c_str());
}

}  // namespace vorkal::sim
