#include "kernel/nFile.h"

#include <cstdio>
#include <cstring>

#include "kernel/nFileServer2.h"
#include "platform/system/Disk.h"

nFile::nFile(nFileServer2* server) : server_(server) {}

nFile::~nFile() {
    nFile::Close();
}

bool nFile::Open(const char* name, const char* mode) {
    nFile::Close();
    lineCount_ = 0;
    if (!name || !mode) return false;
    sys::Disk::Access access;
    switch (mode[0]) {
        case 'r': case 'R': access = sys::Disk::Access::Read; break;
        case 'w': case 'W': access = sys::Disk::Access::Write; break;
        case 'a': case 'A': access = sys::Disk::Access::Append; break;
        case 'n': case 'N': access = sys::Disk::Access::Fresh; break;
        default: return false;
    }
    if (!server_->MayOpen(name, access != sys::Disk::Access::Read)) return false;
    std::string path = server_->ManglePath(name);
    if (path.empty()) return false;
    fd_ = sys::Disk::Open(path, access);
    return fd_ >= 0;
}

void nFile::Close() {
    if (fd_ >= 0) {
        sys::Disk::Close(fd_);
        fd_ = -1;
    }
}

bool nFile::IsOpen() const {
    return fd_ >= 0;
}

size_t nFile::Write(const void* buffer, size_t count) {
    server_->AddBytesWritten(count);
    int64_t n = sys::Disk::Write(fd_, buffer, count);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

size_t nFile::Read(void* buffer, size_t count) {
    server_->AddBytesRead(count);
    int64_t n = sys::Disk::Read(fd_, buffer, count);
    return n > 0 ? static_cast<size_t>(n) : 0;
}

bool nFile::Seek(int64_t offset, int origin) {
    int whence;
    switch (origin) {
        case CURRENT: whence = SEEK_CUR; break;
        case START: whence = SEEK_SET; break;
        case END: whence = SEEK_END; break;
        default: return false;
    }
    server_->AddSeek();
    return sys::Disk::Seek(fd_, offset, whence) >= 0;
}

size_t nFile::Tell() {
    int64_t pos = sys::Disk::Tell(fd_);
    return pos > 0 ? static_cast<size_t>(pos) : 0;
}

size_t nFile::GetSize() {
    int64_t size = sys::Disk::Size(fd_);
    return size > 0 ? static_cast<size_t>(size) : 0;
}

bool nFile::Eof() {
    return Tell() == GetSize();
}

bool nFile::Exists(const char* name) {
    bool ok = Open(name, "r");
    if (IsOpen()) Close();
    return ok;
}

bool nFile::PutS(const char* text) {
    size_t len = text ? std::strlen(text) : 0;
    if (Write(text ? text : "", len) < len) return false;
    lineCount_++;
    return true;
}

bool nFile::GetS(char* buffer, size_t size) {
    lineCount_++;
    if (!buffer || size < 2) {
        if (buffer && size > 0) buffer[0] = '\0';
        return false;
    }
    const size_t start = Tell();
    const size_t limit = size - 1;
    size_t got = 0;
    bool ended = false;  // the file ended after at least one character of the line
    while (got < limit) {
        size_t want = limit - got < 64 ? limit - got : 64;
        size_t n = Read(buffer + got, want);
        for (size_t i = got; i < got + n; i++) {
            if (buffer[i] == '\n' || buffer[i] == '\0') {
                // The line end is consumed; what was read beyond it is given back.
                buffer[i] = '\0';
                Seek(static_cast<int64_t>(start + i + 1), START);
                return true;
            }
        }
        got += n;
        if (n < want) {
            ended = got > 0;
            break;
        }
    }
    buffer[got] = '\0';
    if (ended) return true;
    if (got > 0) {
        // Over-long line: the next call goes on behind what was returned.
        Seek(static_cast<int64_t>(start + got), START);
    }
    return false;
}
