#include "kernel/nNpkFile.h"

#include "kernel/nKernelServer.h"
#include "kernel/nNpkArchive.h"
#include "kernel/nNpkFileServer.h"

nNpkFile::nNpkFile(nNpkFileServer* server) : nFile(server), npkServer_(server) {}

nNpkFile::~nNpkFile() {
    nNpkFile::Close();
}

bool nNpkFile::Open(const char* name, const char* mode) {
    nNpkFile::Close();
    if (!name || !mode) return false;
    const bool reading = mode[0] == 'r' || mode[0] == 'R';
    if (!npkServer_->MayOpen(name, !reading)) return false;
    // A name refused here (logged once) is refused on the disk too.
    const std::string path = npkServer_->ManglePath(name);
    if (path.empty()) return false;
    // The disk comes first.
    if (nFile::Open(name, mode)) return true;
    if (!reading) return false;
    nNpkTocEntry* entry = npkServer_->ResolveInArchives(path);
    if (!entry || entry->IsDirectory()) return false;
    entry_ = entry;
    pos_ = 0;
    return true;
}

void nNpkFile::Close() {
    entry_ = nullptr;
    pos_ = 0;
    nFile::Close();
}

bool nNpkFile::IsOpen() const {
    return entry_ || nFile::IsOpen();
}

size_t nNpkFile::Write(const void* buffer, size_t count) {
    if (!entry_) return nFile::Write(buffer, count);
    n_error("nNpkFile: Writing to npk files not supported!\n");
    return 0;
}

size_t nNpkFile::Read(void* buffer, size_t count) {
    if (!entry_) return nFile::Read(buffer, count);
    size_t n = entry_->GetArchive()->Read(entry_, pos_, buffer, count);
    pos_ += n;
    return n;
}

size_t nNpkFile::Tell() {
    return entry_ ? static_cast<size_t>(pos_) : nFile::Tell();
}

bool nNpkFile::Seek(int64_t offset, int origin) {
    if (!entry_) return nFile::Seek(offset, origin);
    const int64_t length = entry_->GetFileLength();
    int64_t target = 0;
    switch (origin) {
        case CURRENT: target = static_cast<int64_t>(pos_) + offset; break;
        case START: target = offset; break;
        case END: target = length + offset; break;
        default: target = 0; break;
    }
    if (target < 0) target = 0;
    if (target > length) target = length;
    pos_ = static_cast<uint64_t>(target);
    return true;
}

size_t nNpkFile::GetSize() {
    return entry_ ? entry_->GetFileLength() : nFile::GetSize();
}

bool nNpkFile::Eof() {
    return entry_ ? pos_ == entry_->GetFileLength() : nFile::Eof();
}
