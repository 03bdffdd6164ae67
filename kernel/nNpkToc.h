#pragma once
// The table of contents of one npk archive: reads the header and the tagged
// directory and file blocks, and resolves mangled paths to entries.
//
// Layout (little-endian): u32 magic 0x4E504B30, u32 unused, u32 data offset;
// then blocks of u32 tag, u32 length and the tag's fields: _RID (u16 name
// length, name) opens a directory, DNED closes it, ELIF (u32 offset, u32 length,
// u16 name length, name) is a file whose data lies at data offset + 8 + offset.
// Any other tag ends the table.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "kernel/nNpkTocEntry.h"

class nNpkToc {
public:
    static constexpr uint32_t MAGIC = 0x4E504B30;
    static constexpr uint32_t TAG_DIR = 0x4449525F;
    static constexpr uint32_t TAG_DIREND = 0x44454E44;
    static constexpr uint32_t TAG_FILE = 0x46494C45;
    static constexpr uint32_t TAG_DATA = 0x44415441;
    static constexpr int MAX_DEPTH = 16;
    static constexpr int MAX_NAME = 512;

    // Reads `count` bytes sequentially from the start of the archive file and
    // returns how many it got.
    using ReadFunc = std::function<size_t(void* buffer, size_t count)>;

    nNpkToc();
    ~nNpkToc();
    nNpkToc(const nNpkToc&) = delete;
    nNpkToc& operator=(const nNpkToc&) = delete;

    // Reads header and table of contents of an archive file of `fileSize` bytes.
    // On failure returns false with the reason in `error` and keeps nothing.
    bool Parse(const ReadFunc& read, uint64_t fileSize, const std::string& rootPath,
               nNpkArchive* archive, std::string& error);
    // The same over an archive held in memory.
    bool ParseBuffer(const void* data, size_t size, const std::string& rootPath,
                     nNpkArchive* archive, std::string& error);

    nNpkTocEntry* GetRoot() const { return root.get(); }
    const std::string& GetRootPath() const { return rootPath; }
    uint64_t GetDataBase() const { return dataBase; }

    // The entry of a mangled path, or null when this archive does not hold it.
    nNpkTocEntry* Resolve(const std::string& path) const;

private:
    std::unique_ptr<nNpkTocEntry> root;
    std::string rootPath;
    uint64_t dataBase = 0;
};
