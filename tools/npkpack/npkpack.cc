// npkpack: packs a directory into an npk archive, or lists an archive.
//
//   npkpack [-r ROOTNAME] DIRECTORY ARCHIVE.npk
//   npkpack -l ARCHIVE.npk
//
// Names are stored lower-cased. The root directory is named after the archive
// file unless -r gives another name.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/nNpkToc.h"
#include "kernel/nNpkWriter.h"
#include "platform/system/Disk.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: npkpack [-r ROOTNAME] DIRECTORY ARCHIVE.npk\n"
                 "       npkpack -l ARCHIVE.npk\n");
    return 2;
}

void ListEntry(const nNpkTocEntry* e, const std::string& prefix) {
    std::string path = prefix.empty() ? e->GetName() : prefix + "/" + e->GetName();
    if (e->IsDirectory()) {
        std::printf("%s/\n", path.c_str());
        for (const nNpkTocEntry* c = e->GetHead(); c; c = c->GetSucc()) ListEntry(c, path);
    } else {
        std::printf("%s\t%u\n", path.c_str(), e->GetFileLength());
    }
}

int List(const std::string& archive) {
    int fd = sys::Disk::Open(archive, sys::Disk::Access::Read);
    if (fd < 0) {
        std::fprintf(stderr, "npkpack: cannot open '%s'\n", archive.c_str());
        return 1;
    }
    int64_t size = sys::Disk::Size(fd);
    nNpkToc toc;
    std::string error;
    bool ok = toc.Parse(
        [fd](void* buf, size_t n) {
            int64_t got = sys::Disk::Read(fd, buf, n);
            return got < 0 ? size_t(0) : size_t(got);
        },
        uint64_t(size < 0 ? 0 : size), "", nullptr, error);
    sys::Disk::Close(fd);
    if (!ok) {
        std::fprintf(stderr, "npkpack: '%s' is not a valid npk archive: %s\n", archive.c_str(), error.c_str());
        return 1;
    }
    ListEntry(toc.GetRoot(), "");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "-l") return List(args[1]);
    std::string rootName;
    if (args.size() == 4 && args[0] == "-r") {
        rootName = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() != 2 || args[0].empty() || args[0][0] == '-') return Usage();
    std::string error;
    if (!nNpkWriter::PackDirectory(args[0], args[1], rootName, error)) {
        std::fprintf(stderr, "npkpack: %s\n", error.c_str());
        return 1;
    }
    return 0;
}
