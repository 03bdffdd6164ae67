#pragma once
// The file server with npk archives (script class "nnpkfileserver"). Archives
// found by ParseDirectory are mounted; from then on a path that does not exist on
// disk is looked up in them (first mounted wins), and a mounted archive file shows
// in disk listings as a directory. Archives are read-only.
#include <memory>
#include <string>
#include <vector>

#include "kernel/nFileServer2.h"

class nNpkArchive;
class nNpkTocEntry;

class nNpkFileServer : public nFileServer2 {
public:
    static const nClassInfo classInfo;

    nNpkFileServer();
    ~nNpkFileServer() override;

    nDirectory* NewDirectoryObject() override;
    nFile* NewFileObject() override;

    // Mounts every file with the extension "npk" (lower case) in the directory;
    // the number mounted. Archives that cannot be read are logged and skipped.
    virtual int ParseDirectory(const char* path);
    // True when the path's last component ends in ".npk" (names are lower case).
    static bool IsArchiveName(const std::string& path);
    // Mounts one archive whose entries resolve below `rootPath` (a mangled path).
    bool AddArchive(const std::string& fileName, const std::string& rootPath);
    // The entry of a mangled path in the first archive holding it, or null.
    nNpkTocEntry* ResolveInArchives(const std::string& mangledPath) const;
    size_t GetNumArchives() const { return archives_.size(); }

protected:
    // A file on disk first, as the file objects open it; else the archive entry.
    std::string FileIdentity(const std::string& mangledPath) override;

private:
    std::vector<std::unique_ptr<nNpkArchive>> archives_;
};
