#include "platform/flash/MovieHost.h"

#include <SDL2/SDL_log.h>

#include <algorithm>
#include <mutex>

#include "platform/system/Disk.h"

namespace flash {

namespace {

// Larger files are no movies or images of ours.
constexpr int64_t MaxFileBytes = 64 << 20;

std::mutex hostLock;
MovieHost& Installed() {
    static MovieHost host = MovieHost::Disk();
    return host;
}

bool ReadDisk(const std::string& path, std::string& bytes) {
    const int fd = sys::Disk::Open(sys::Disk::Resolve(path), sys::Disk::Access::Read);
    if (fd < 0) return false;
    const int64_t size = sys::Disk::Size(fd);
    bool ok = size >= 0 && size <= MaxFileBytes;
    if (ok) {
        bytes.resize(size_t(size));
        ok = size == 0 || sys::Disk::Read(fd, bytes.data(), bytes.size()) == size;
    }
    sys::Disk::Close(fd);
    return ok;
}

bool DiskSize(const std::string& path, uint64_t& size) {
    const int fd = sys::Disk::Open(sys::Disk::Resolve(path), sys::Disk::Access::Read);
    if (fd < 0) return false;
    const int64_t bytes = sys::Disk::Size(fd);
    sys::Disk::Close(fd);
    size = uint64_t(std::max<int64_t>(bytes, 0));
    return bytes >= 0;
}

}  // namespace

MovieHost MovieHost::Disk() {
    MovieHost host;
    host.readFile = ReadDisk;
    host.fileSize = DiskSize;
    host.log = [](const std::string& message) {
        SDL_LogError(SDL_LOG_CATEGORY_APPLICATION, "%s", message.c_str());
    };
    return host;
}

void MovieHost::SetDefault(MovieHost host) {
    std::lock_guard<std::mutex> lock(hostLock);
    Installed() = host.readFile && host.log ? std::move(host) : Disk();
}

MovieHost MovieHost::Default() {
    std::lock_guard<std::mutex> lock(hostLock);
    return Installed();
}

}  // namespace flash
