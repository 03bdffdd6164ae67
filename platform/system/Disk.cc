#include "platform/system/Disk.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sys {

namespace {

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

bool Exists(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0;
}

// Whatever stands under `path`, itself: a link is removed, not what it names; a folder
// only when empty. True when nothing stands there now.
bool RemoveEntry(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    return (S_ISDIR(st.st_mode) ? ::rmdir(path.c_str()) : ::unlink(path.c_str())) == 0;
}

std::string Join(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    if (dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

}  // namespace

bool Disk::NameLess(const std::string& a, const std::string& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; i++) {
        unsigned char ca = static_cast<unsigned char>(LowerAscii(a[i]));
        unsigned char cb = static_cast<unsigned char>(LowerAscii(b[i]));
        if (ca != cb) return ca < cb;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

std::string Disk::Resolve(const std::string& path) {
    if (path.empty()) return path;
    std::string result = (path[0] == '/') ? "/" : "";
    size_t pos = 0;
    bool resolving = true;
    while (pos <= path.size()) {
        size_t end = path.find('/', pos);
        if (end == std::string::npos) end = path.size();
        std::string comp = path.substr(pos, end - pos);
        pos = end + 1;
        if (comp.empty()) continue;
        if (resolving && comp != "." && comp != ".." && !Exists(Join(result, comp))) {
            // Look for a spelling that differs in case only; of several, the first
            // in listing order, so the choice does not depend on the disk.
            resolving = false;
            std::string best;
            if (DIR* dir = ::opendir(result.empty() ? "." : result.c_str())) {
                while (struct dirent* de = ::readdir(dir)) {
                    std::string name = de->d_name;
                    if (EqualNoCase(name, comp) && (best.empty() || NameLess(name, best))) best = name;
                }
                ::closedir(dir);
            }
            if (!best.empty()) {
                comp = best;
                resolving = true;
            }
        }
        result = Join(result, comp);
    }
    if (path.size() > 1 && path.back() == '/' && result.back() != '/') result += '/';
    return result;
}

int Disk::Open(const std::string& path, Access access) {
    if (path.empty()) return -1;
    std::string real = Resolve(path);
    int flags = O_CLOEXEC | O_NONBLOCK;
    switch (access) {
        case Access::Read: flags |= O_RDONLY; break;
        // Cut to nothing only once it is known to be this name's file alone (below).
        case Access::Write: flags |= O_WRONLY | O_CREAT | O_NOFOLLOW; break;
        case Access::Append: flags |= O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW; break;
        case Access::Fresh:
            // O_EXCL: whatever takes the name between the removal and the open is refused,
            // not written through.
            if (!RemoveEntry(real)) return -1;
            flags |= O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW;
            break;
    }
    // O_NONBLOCK keeps a FIFO from hanging the open; it is cleared again below.
    int fd = ::open(real.c_str(), flags, 0644);
    if (fd < 0) return -1;
    struct stat st;
    // A file with other names (hard links) may lie outside the folder: writing it would
    // change a file there.
    const bool writes = access != Access::Read;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || (writes && st.st_nlink > 1) ||
        (access == Access::Write && ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        return -1;
    }
    int fl = ::fcntl(fd, F_GETFL);
    if (fl != -1) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

bool Disk::Replace(const std::string& from, const std::string& to) {
    // rename() replaces a file, a link or a FIFO itself, but never a folder with a file.
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::rmdir(to.c_str()) != 0) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool Disk::Link(const std::string& existing, const std::string& name) {
    if (!RemoveEntry(name)) return false;
    // No AT_SYMLINK_FOLLOW: a link is named, never what it names.
    return ::linkat(AT_FDCWD, existing.c_str(), AT_FDCWD, name.c_str(), 0) == 0;
}

void Disk::Close(int fd) {
    if (fd >= 0) ::close(fd);
}

namespace {
// Moves the whole count unless the file ends or fails; a failure after some bytes
// reports those bytes, so callers never lose what did move.
template <class Buffer, class Op>
int64_t Transfer(int fd, Buffer* buffer, size_t count, Op op) {
    if (fd < 0) return -1;
    size_t done = 0;
    while (done < count) {
        ssize_t n = op(fd, buffer + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return done > 0 ? static_cast<int64_t>(done) : -1;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}
}  // namespace

int64_t Disk::Read(int fd, void* buffer, size_t count) {
    return Transfer(fd, static_cast<char*>(buffer), count, ::read);
}

int64_t Disk::Write(int fd, const void* buffer, size_t count) {
    return Transfer(fd, static_cast<const char*>(buffer), count, ::write);
}

int64_t Disk::Seek(int fd, int64_t offset, int whence) {
    if (fd < 0) return -1;
    off_t r = ::lseek(fd, static_cast<off_t>(offset), whence);
    return r < 0 ? -1 : static_cast<int64_t>(r);
}

int64_t Disk::Tell(int fd) {
    return Seek(fd, 0, SEEK_CUR);
}

int64_t Disk::Size(int fd) {
    if (fd < 0) return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

bool Disk::IsDirectory(const std::string& path) {
    if (path.empty()) return false;
    struct stat st;
    return ::stat(Resolve(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Disk::IsFile(const std::string& path) {
    if (path.empty()) return false;
    struct stat st;
    return ::stat(Resolve(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Disk::FileIdentity(const std::string& path) {
    if (path.empty()) return std::string();
    char buf[PATH_MAX];
    struct stat st;
    const std::string real = Resolve(path);
    if (!::realpath(real.c_str(), buf) || ::stat(buf, &st) != 0 || !S_ISREG(st.st_mode)) return std::string();
    return std::string(buf);
}

bool Disk::List(const std::string& path, std::vector<Entry>& entries) {
    entries.clear();
    if (path.empty()) return false;
    std::string real = Resolve(path);
    DIR* dir = ::opendir(real.c_str());
    if (!dir) return false;
    int dfd = ::dirfd(dir);
    while (struct dirent* de = ::readdir(dir)) {
        if (std::strcmp(de->d_name, ".") == 0 || std::strcmp(de->d_name, "..") == 0) continue;
        Entry e;
        e.name = de->d_name;
        if (de->d_type == DT_DIR) {
            e.isDirectory = true;
        } else if (de->d_type == DT_UNKNOWN || de->d_type == DT_LNK) {
            // Symbolic links list as what they point at.
            struct stat st;
            e.isDirectory = ::fstatat(dfd, de->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back(std::move(e));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return NameLess(a.name, b.name); });
    return true;
}

std::string Disk::CurrentDir() {
    char buf[PATH_MAX];
    if (!::getcwd(buf, sizeof(buf))) return std::string();
    return std::string(buf);
}

bool Disk::ChangeDir(const std::string& path) {
    if (path.empty()) return false;
    return ::chdir(Resolve(path).c_str()) == 0;
}

}  // namespace sys
