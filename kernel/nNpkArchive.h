#pragma once
// One mounted npk archive: its table of contents and the one open file that all
// files inside the archive read through.
#include <cstddef>
#include <cstdint>
#include <string>

#include "kernel/nNpkToc.h"

class nFile;
class nFileServer2;

class nNpkArchive {
public:
    nNpkArchive();
    ~nNpkArchive();
    nNpkArchive(const nNpkArchive&) = delete;
    nNpkArchive& operator=(const nNpkArchive&) = delete;

    // Opens `fileName` through the plain file objects of `server` and reads its
    // table of contents; entries resolve below `rootPath`. False with the reason in
    // `error`, leaving the archive closed.
    bool Open(nFileServer2* server, const std::string& fileName, const std::string& rootPath, std::string& error);
    void Close();
    bool IsOpen() const { return file_ != nullptr; }

    const std::string& GetFileName() const { return fileName_; }
    const nNpkToc& GetToc() const { return toc_; }
    nNpkTocEntry* Resolve(const std::string& mangledPath) const { return toc_.Resolve(mangledPath); }

    // Reads up to `count` bytes of a file entry from `pos` on; the bytes read.
    size_t Read(const nNpkTocEntry* entry, uint64_t pos, void* buffer, size_t count);

private:
    std::string fileName_;
    nNpkToc toc_;
    nFile* file_ = nullptr;
};
