#include "kernel/nNpkArchive.h"

#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"

nNpkArchive::nNpkArchive() = default;

nNpkArchive::~nNpkArchive() {
    Close();
}

bool nNpkArchive::Open(nFileServer2* server, const std::string& fileName, const std::string& rootPath,
                       std::string& error) {
    Close();
    fileName_ = fileName;
    // The plain factory: an archive is always a disk file.
    nFile* file = server->nFileServer2::NewFileObject();
    if (!file->Open(fileName.c_str(), "rb")) {
        delete file;
        error = "cannot open the file";
        return false;
    }
    uint64_t size = file->GetSize();
    nNpkToc::ReadFunc read = [file](void* buffer, size_t count) { return file->Read(buffer, count); };
    if (!toc_.Parse(read, size, rootPath, this, error)) {
        delete file;
        return false;
    }
    file_ = file;
    return true;
}

void nNpkArchive::Close() {
    delete file_;
    file_ = nullptr;
}

size_t nNpkArchive::Read(const nNpkTocEntry* entry, uint64_t pos, void* buffer, size_t count) {
    if (!file_ || !entry || entry->IsDirectory() || pos >= entry->GetFileLength()) return 0;
    uint64_t left = entry->GetFileLength() - pos;
    if (count > left) count = static_cast<size_t>(left);
    if (!file_->Seek(static_cast<int64_t>(entry->GetFileOffset() + pos), nFile::START)) return 0;
    return file_->Read(buffer, count);
}
