#include "kernel/nDirectory.h"

#include "kernel/nFileServer2.h"

nDirectory::nDirectory(nFileServer2* server) : server_(server) {}

nDirectory::~nDirectory() = default;

bool nDirectory::Open(const char* path) {
    nDirectory::Close();
    if (!server_->MayOpen(path, false)) return false;
    std::string mangled = server_->ManglePath(path);
    if (mangled.empty() || !sys::Disk::IsDirectory(mangled)) return false;
    path_ = mangled;
    empty_ = !nDirectory::SetToFirstEntry();
    return true;
}

void nDirectory::Close() {
    entries_.clear();
    index_ = 0;
    path_.clear();
    entryName_.clear();
    empty_ = true;
}

bool nDirectory::IsOpen() const {
    return !path_.empty();
}

bool nDirectory::IsEmpty() {
    return empty_;
}

bool nDirectory::SetToFirstEntry() {
    index_ = 0;
    if (path_.empty() || !sys::Disk::List(path_, entries_)) entries_.clear();
    return !entries_.empty();
}

bool nDirectory::SetToNextEntry() {
    if (index_ >= entries_.size()) return false;
    index_++;
    return index_ < entries_.size();
}

const char* nDirectory::GetEntryName() {
    if (index_ >= entries_.size()) {
        entryName_.clear();
    } else {
        entryName_ = path_ + "/" + entries_[index_].name;
    }
    return entryName_.c_str();
}

nDirectory::EntryType nDirectory::GetEntryType() {
    return (index_ < entries_.size() && entries_[index_].isDirectory) ? DIRECTORY : FILE;
}
