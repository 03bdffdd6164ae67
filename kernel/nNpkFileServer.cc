#include "kernel/nNpkFileServer.h"

#include "kernel/nKernelServer.h"
#include "kernel/nNpkArchive.h"
#include "kernel/nNpkDirectory.h"
#include "kernel/nNpkFile.h"

static const nCmdDef<nNpkFileServer> cmds[] = {
    {"i_parsedirectory_s", "PRSD",
     [](nNpkFileServer* self, nCmd* c) { c->Out()->SetI(self->ParseDirectory(c->In()->GetS())); }},
};
const nClassInfo nNpkFileServer::classInfo = nClassInfo::Make<nNpkFileServer>("nnpkfileserver", "nfileserver2", cmds);

nNpkFileServer::nNpkFileServer() = default;

nNpkFileServer::~nNpkFileServer() = default;

nDirectory* nNpkFileServer::NewDirectoryObject() {
    return new nNpkDirectory(this);
}

nFile* nNpkFileServer::NewFileObject() {
    return new nNpkFile(this);
}

bool nNpkFileServer::IsArchiveName(const std::string& path) {
    size_t dot = path.find_last_of("./");
    return dot != std::string::npos && path[dot] == '.' && path.compare(dot + 1, std::string::npos, "npk") == 0;
}

int nNpkFileServer::ParseDirectory(const char* path) {
    std::string root = ManglePath(path);
    if (root.empty()) return 0;
    int count = 0;
    nDirectory* dir = nFileServer2::NewDirectoryObject();
    if (dir->Open(root.c_str()) && !dir->IsEmpty()) {
        do {
            if (dir->GetEntryType() != nDirectory::FILE) continue;
            std::string name = dir->GetEntryName();
            if (!IsArchiveName(name)) continue;
            if (AddArchive(name, root)) count++;
        } while (dir->SetToNextEntry());
    }
    dir->Close();
    delete dir;
    return count;
}

bool nNpkFileServer::AddArchive(const std::string& fileName, const std::string& rootPath) {
    auto archive = std::make_unique<nNpkArchive>();
    std::string error;
    if (!archive->Open(this, fileName, rootPath, error)) {
        n_printf("nNpkFileServer: archive '%s' not mounted: %s\n", fileName.c_str(), error.c_str());
        return false;
    }
    archives_.push_back(std::move(archive));
    return true;
}

nNpkTocEntry* nNpkFileServer::ResolveInArchives(const std::string& mangledPath) const {
    for (const auto& archive : archives_) {
        if (nNpkTocEntry* entry = archive->Resolve(mangledPath)) return entry;
    }
    return nullptr;
}

std::string nNpkFileServer::FileIdentity(const std::string& mangledPath) {
    std::string onDisk = nFileServer2::FileIdentity(mangledPath);
    if (!onDisk.empty()) return onDisk;
    const nNpkTocEntry* entry = ResolveInArchives(mangledPath);
    if (!entry || entry->IsDirectory()) return std::string();
    // A '|' cannot start a disk name, so no entry passes for a loose file.
    return "|" + entry->GetArchive()->GetFileName() + "|" + entry->GetFullName();
}
