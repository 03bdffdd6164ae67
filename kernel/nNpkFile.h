#pragma once
// A file of the npk file server: a disk file, or, when the path does not exist
// on disk and is opened for reading, a file inside a mounted archive.
#include "kernel/nFile.h"

class nNpkFileServer;
class nNpkTocEntry;

class nNpkFile : public nFile {
public:
    explicit nNpkFile(nNpkFileServer* server);
    ~nNpkFile() override;

    // Write and append modes never fall back to an archive.
    bool Open(const char* name, const char* mode) override;
    void Close() override;
    // Archive files are read-only: writing moves nothing and is logged.
    size_t Write(const void* buffer, size_t count) override;
    // Reads past the end of an archive file return what exists.
    size_t Read(void* buffer, size_t count) override;
    size_t Tell() override;
    // Inside an archive the position is clamped to [0, size]; always true.
    bool Seek(int64_t offset, int origin) override;
    size_t GetSize() override;
    bool Eof() override;
    bool IsOpen() const override;

    bool IsInArchive() const { return entry_ != nullptr; }

private:
    nNpkFileServer* npkServer_;
    nNpkTocEntry* entry_ = nullptr;
    uint64_t pos_ = 0;
};
