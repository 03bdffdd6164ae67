#include "kernel/nNpkDirectory.h"

#include "kernel/nNpkFileServer.h"
#include "kernel/nNpkTocEntry.h"

nNpkDirectory::nNpkDirectory(nNpkFileServer* server) : nDirectory(server), npkServer_(server) {}

nNpkDirectory::~nNpkDirectory() = default;

bool nNpkDirectory::Open(const char* path) {
    nNpkDirectory::Close();
    // A name refused here (logged once) is refused on the disk too.
    const std::string mangled = npkServer_->ManglePath(path);
    if (mangled.empty()) return false;
    // The disk comes first.
    if (nDirectory::Open(path)) {
        ClassifyDiskEntry();
        return true;
    }
    nNpkTocEntry* entry = npkServer_->ResolveInArchives(mangled);
    if (!entry || !entry->IsDirectory()) return false;
    dirEntry_ = entry;
    curEntry_ = entry->GetHead();
    path_ = mangled;
    empty_ = curEntry_ == nullptr;
    return true;
}

void nNpkDirectory::Close() {
    dirEntry_ = nullptr;
    curEntry_ = nullptr;
    archiveEntry_ = nullptr;
    name_.clear();
    nDirectory::Close();
}

bool nNpkDirectory::IsOpen() const {
    return dirEntry_ || nDirectory::IsOpen();
}

bool nNpkDirectory::IsEmpty() {
    if (dirEntry_) return dirEntry_->GetNumChildren() == 0;
    return nDirectory::IsEmpty();
}

bool nNpkDirectory::SetToFirstEntry() {
    if (dirEntry_) {
        curEntry_ = dirEntry_->GetHead();
        return curEntry_ != nullptr;
    }
    bool ok = nDirectory::SetToFirstEntry();
    ClassifyDiskEntry();
    return ok;
}

bool nNpkDirectory::SetToNextEntry() {
    if (dirEntry_) {
        if (curEntry_) curEntry_ = curEntry_->GetSucc();
        return curEntry_ != nullptr;
    }
    bool ok = nDirectory::SetToNextEntry();
    ClassifyDiskEntry();
    return ok;
}

void nNpkDirectory::ClassifyDiskEntry() {
    archiveEntry_ = nullptr;
    if (nDirectory::GetEntryType() != FILE) return;
    std::string name = nDirectory::GetEntryName();
    if (!nNpkFileServer::IsArchiveName(name)) return;
    // Mounted archives are found under their lower-cased name when their root
    // directory carries the archive file's name.
    archiveEntry_ = npkServer_->ResolveInArchives(npkServer_->ManglePath(name.c_str()));
}

const char* nNpkDirectory::GetEntryName() {
    nNpkTocEntry* entry = dirEntry_ ? curEntry_ : archiveEntry_;
    if (dirEntry_ || archiveEntry_) {
        name_ = entry ? entry->GetFullName() : std::string();
        return name_.c_str();
    }
    return nDirectory::GetEntryName();
}

nDirectory::EntryType nNpkDirectory::GetEntryType() {
    nNpkTocEntry* entry = dirEntry_ ? curEntry_ : archiveEntry_;
    if (entry) return entry->IsDirectory() ? DIRECTORY : FILE;
    return nDirectory::GetEntryType();
}
