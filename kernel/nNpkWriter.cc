#include "kernel/nNpkWriter.h"

#include "kernel/nNpkToc.h"
#include "platform/system/Disk.h"

nNpkWriter::nNpkWriter() = default;
nNpkWriter::~nNpkWriter() = default;

bool nNpkWriter::Fail(const std::string& why) {
    if (error.empty()) error = why;
    return false;
}

void nNpkWriter::PutU16(uint16_t v) {
    toc.push_back(static_cast<unsigned char>(v));
    toc.push_back(static_cast<unsigned char>(v >> 8));
}

void nNpkWriter::PutU32(uint32_t v) {
    for (int i = 0; i < 4; i++) toc.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

void nNpkWriter::PutName(const std::string& name) {
    PutU16(static_cast<uint16_t>(name.size()));
    toc.insert(toc.end(), name.begin(), name.end());
}

bool nNpkWriter::CheckName(std::string& name) {
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c == '/' || c == '\\' || c == '\0') return Fail("invalid name '" + name + "'");
    }
    if (name.empty() || name == "." || name == "..") return Fail("invalid name '" + name + "'");
    if (name.size() >= size_t(nNpkToc::MAX_NAME)) return Fail("name too long: '" + name + "'");
    if (!openDirs.empty() && !openDirs.back().insert(name).second) {
        return Fail("two entries named '" + name + "' in one directory");
    }
    return true;
}

bool nNpkWriter::BeginDir(const std::string& nameArg) {
    if (!error.empty()) return false;
    if (openDirs.empty() && hadRoot) return Fail("an archive holds one root directory");
    if (openDirs.size() >= size_t(nNpkToc::MAX_DEPTH)) return Fail("directories nested too deep at '" + nameArg + "'");
    std::string name = nameArg;
    if (!CheckName(name)) return false;
    PutU32(nNpkToc::TAG_DIR);
    PutU32(static_cast<uint32_t>(2 + name.size()));
    PutName(name);
    openDirs.emplace_back();
    hadRoot = true;
    return true;
}

bool nNpkWriter::AddFile(const std::string& nameArg, const void* bytes, size_t size) {
    if (!error.empty()) return false;
    if (openDirs.empty()) return Fail("file '" + nameArg + "' outside any directory");
    std::string name = nameArg;
    if (!CheckName(name)) return false;
    if (uint64_t(data.size()) + size > 0xFFFFFFF0ull) return Fail("archive data exceeds 4 GB");
    PutU32(nNpkToc::TAG_FILE);
    PutU32(static_cast<uint32_t>(10 + name.size()));
    PutU32(static_cast<uint32_t>(data.size()));
    PutU32(static_cast<uint32_t>(size));
    PutName(name);
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    if (size) data.insert(data.end(), p, p + size);
    return true;
}

bool nNpkWriter::EndDir() {
    if (!error.empty()) return false;
    if (openDirs.empty()) return Fail("directory end without a directory");
    openDirs.pop_back();
    PutU32(nNpkToc::TAG_DIREND);
    PutU32(0);
    return true;
}

bool nNpkWriter::Finish(std::vector<unsigned char>& archive) {
    if (!error.empty()) return false;
    if (!openDirs.empty()) return Fail("directory left open");
    if (!hadRoot) return Fail("archive without a root directory");
    uint64_t dataOffset = 12 + toc.size();
    if (dataOffset + 8 + data.size() > 0xFFFFFFFFull) return Fail("archive exceeds 4 GB");
    archive.clear();
    archive.reserve(dataOffset + 8 + data.size());
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; i++) archive.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    put32(nNpkToc::MAGIC);
    put32(4);
    put32(static_cast<uint32_t>(dataOffset));
    archive.insert(archive.end(), toc.begin(), toc.end());
    put32(nNpkToc::TAG_DATA);
    put32(static_cast<uint32_t>(data.size()));
    archive.insert(archive.end(), data.begin(), data.end());
    return true;
}

bool nNpkWriter::Save(const std::string& path) {
    std::vector<unsigned char> bytes;
    if (!Finish(bytes)) return false;
    int fd = sys::Disk::Open(path, sys::Disk::Access::Write);
    if (fd < 0) return Fail("cannot write '" + path + "'");
    int64_t n = sys::Disk::Write(fd, bytes.data(), bytes.size());
    sys::Disk::Close(fd);
    if (n != int64_t(bytes.size())) return Fail("short write to '" + path + "'");
    return true;
}

bool nNpkWriter::PackTree(const std::string& dir) {
    std::vector<sys::Disk::Entry> entries;
    if (!sys::Disk::List(dir, entries)) return Fail("cannot list '" + dir + "'");
    for (const sys::Disk::Entry& e : entries) {
        std::string path = dir + "/" + e.name;
        if (e.isDirectory) {
            if (!BeginDir(e.name) || !PackTree(path) || !EndDir()) return false;
            continue;
        }
        int fd = sys::Disk::Open(path, sys::Disk::Access::Read);
        if (fd < 0) return Fail("cannot read '" + path + "'");
        int64_t size = sys::Disk::Size(fd);
        std::vector<unsigned char> bytes(size > 0 ? static_cast<size_t>(size) : 0);
        int64_t got = bytes.empty() ? 0 : sys::Disk::Read(fd, bytes.data(), bytes.size());
        sys::Disk::Close(fd);
        if (got != int64_t(bytes.size())) return Fail("cannot read '" + path + "'");
        if (!AddFile(e.name, bytes.data(), bytes.size())) return false;
    }
    return true;
}

bool nNpkWriter::PackDirectory(const std::string& dir, const std::string& npkPath,
                               const std::string& rootName, std::string& errorOut) {
    nNpkWriter w;
    std::string name = rootName;
    if (name.empty()) {
        size_t slash = npkPath.find_last_of('/');
        name = slash == std::string::npos ? npkPath : npkPath.substr(slash + 1);
    }
    bool ok = sys::Disk::IsDirectory(dir) ? true : w.Fail("'" + dir + "' is not a directory");
    ok = ok && w.BeginDir(name) && w.PackTree(dir) && w.EndDir() && w.Save(npkPath);
    errorOut = w.error;
    return ok;
}
