#include "kernel/nNpkToc.h"

#include <cstring>

namespace {

uint32_t GetU32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

int16_t GetI16(const unsigned char* p) {
    return static_cast<int16_t>(uint16_t(p[0]) | uint16_t(p[1]) << 8);
}

// Names that no path can reach or that would change a path's meaning.
bool IsValidName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
        if (c == '/' || c == '\\' || c == '\0') return false;
    }
    return true;
}

}  // namespace

nNpkToc::nNpkToc() = default;
nNpkToc::~nNpkToc() = default;

bool nNpkToc::Parse(const ReadFunc& read, uint64_t fileSize, const std::string& rootPathArg,
                    nNpkArchive* archive, std::string& error) {
    root.reset();
    rootPath = rootPathArg;
    dataBase = 0;

    std::unique_ptr<nNpkTocEntry> newRoot;
    nNpkTocEntry* stack[MAX_DEPTH] = {};
    int depth = 0;

    auto fail = [&](const char* why) {
        error = why;
        return false;
    };
    auto readName = [&](std::string& name) {
        unsigned char lenBuf[2];
        if (read(lenBuf, 2) != 2) return fail("table of contents is truncated");
        int len = GetI16(lenBuf);
        if (len < 0 || len >= MAX_NAME) return fail("name length out of range");
        char buf[MAX_NAME];
        if (read(buf, static_cast<size_t>(len)) != static_cast<size_t>(len)) {
            return fail("table of contents is truncated");
        }
        name.assign(buf, static_cast<size_t>(len));
        if (!IsValidName(name)) return fail("invalid entry name");
        return true;
    };

    unsigned char header[12];
    if (read(header, sizeof(header)) != sizeof(header)) return fail("header is truncated");
    if (GetU32(header) != MAGIC) return fail("bad magic");
    uint64_t base = uint64_t(GetU32(header + 8)) + 8;
    if (base > fileSize) return fail("data block lies past the end of the file");

    for (;;) {
        unsigned char block[8];
        if (read(block, sizeof(block)) != sizeof(block)) return fail("table of contents is truncated");
        uint32_t tag = GetU32(block);
        if (tag == TAG_DIR) {
            std::string name;
            if (!readName(name)) return false;
            if (depth >= MAX_DEPTH) return fail("directories nested too deep");
            if (depth == 0 && newRoot) return fail("second root directory");
            auto entry = std::make_unique<nNpkTocEntry>(archive, &rootPath, depth ? stack[depth - 1] : nullptr,
                                                        name, nNpkTocEntry::DIRECTORY);
            nNpkTocEntry* raw = entry.get();
            if (depth == 0) {
                newRoot = std::move(entry);
            } else if (!stack[depth - 1]->AddChild(std::move(entry))) {
                return fail("duplicate entry name");
            }
            stack[depth++] = raw;
        } else if (tag == TAG_DIREND) {
            if (depth == 0) return fail("directory end without a directory");
            depth--;
        } else if (tag == TAG_FILE) {
            unsigned char fields[8];
            if (read(fields, sizeof(fields)) != sizeof(fields)) return fail("table of contents is truncated");
            std::string name;
            if (!readName(name)) return false;
            if (depth == 0) return fail("file outside any directory");
            uint64_t offset = base + GetU32(fields);
            uint32_t length = GetU32(fields + 4);
            if (offset + length > fileSize) return fail("file data lies past the end of the file");
            auto entry = std::make_unique<nNpkTocEntry>(archive, &rootPath, stack[depth - 1], name,
                                                        nNpkTocEntry::FILE, offset, length);
            if (!stack[depth - 1]->AddChild(std::move(entry))) return fail("duplicate entry name");
        } else {
            break;
        }
    }
    if (!newRoot) return fail("no root directory");
    root = std::move(newRoot);
    dataBase = base;
    return true;
}

bool nNpkToc::ParseBuffer(const void* data, size_t size, const std::string& rootPathArg,
                          nNpkArchive* archive, std::string& error) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    size_t pos = 0;
    ReadFunc read = [&](void* buffer, size_t count) {
        size_t n = count < size - pos ? count : size - pos;
        if (n) std::memcpy(buffer, bytes + pos, n);
        pos += n;
        return n;
    };
    return Parse(read, size, rootPathArg, archive, error);
}

nNpkTocEntry* nNpkToc::Resolve(const std::string& path) const {
    if (!root) return nullptr;
    // The path must lie below the mounting directory: root path, a separator, more.
    if (path.size() <= rootPath.size() + 1) return nullptr;
    if (path.compare(0, rootPath.size(), rootPath) != 0) return nullptr;
    char sep = path[rootPath.size()];
    if (sep != '/' && sep != '\\') return nullptr;

    nNpkTocEntry* cur = nullptr;
    size_t pos = rootPath.size() + 1;
    while (pos <= path.size()) {
        size_t end = path.find_first_of("/\\", pos);
        if (end == std::string::npos) end = path.size();
        std::string comp = path.substr(pos, end - pos);
        pos = end + 1;
        if (comp.empty()) continue;
        if (!cur) {
            // The first component names the archive's root directory.
            if (comp != root->GetName()) return nullptr;
            cur = root.get();
        } else if (comp == ".") {
            continue;
        } else if (comp == "..") {
            cur = cur->GetParent();
            if (!cur) return nullptr;
        } else {
            if (!cur->IsDirectory()) return nullptr;
            cur = cur->FindChild(comp);
            if (!cur) return nullptr;
        }
    }
    return cur;
}
