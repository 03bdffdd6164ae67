#pragma once
// A directory listing of the npk file server: a disk directory, in which mounted
// archive files list as directories, or a directory inside an archive.
#include <string>

#include "kernel/nDirectory.h"

class nNpkFileServer;
class nNpkTocEntry;

class nNpkDirectory : public nDirectory {
public:
    explicit nNpkDirectory(nNpkFileServer* server);
    ~nNpkDirectory() override;

    bool Open(const char* path) override;
    void Close() override;
    bool IsEmpty() override;
    bool SetToFirstEntry() override;
    bool SetToNextEntry() override;
    // Archive entries give their full name (mounting directory, '/', the names
    // from the archive's root directory down).
    const char* GetEntryName() override;
    EntryType GetEntryType() override;
    bool IsOpen() const override;

    bool IsInArchive() const { return dirEntry_ != nullptr; }

private:
    // Remembers the archive behind the current disk entry, if it is one.
    void ClassifyDiskEntry();

    nNpkFileServer* npkServer_;
    nNpkTocEntry* dirEntry_ = nullptr;      // the archive directory listed
    nNpkTocEntry* curEntry_ = nullptr;      // current entry inside it
    nNpkTocEntry* archiveEntry_ = nullptr;  // the current disk entry is this mounted archive
    std::string name_;
};
