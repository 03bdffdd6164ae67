#pragma once
// One directory or file of an npk archive's table of contents.

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class nNpkArchive;

class nNpkTocEntry {
public:
    enum Type : uint32_t { DIRECTORY = 0, FILE = 1 };

    // `rootPath` is the archive's mounting directory, shared by all its entries.
    nNpkTocEntry(nNpkArchive* archive, const std::string* rootPath, nNpkTocEntry* parent,
                 const std::string& name, Type type, uint64_t offset = 0, uint32_t length = 0);
    ~nNpkTocEntry();
    nNpkTocEntry(const nNpkTocEntry&) = delete;
    nNpkTocEntry& operator=(const nNpkTocEntry&) = delete;

    const std::string& GetName() const { return name; }
    Type GetType() const { return type; }
    bool IsDirectory() const { return type == DIRECTORY; }
    nNpkTocEntry* GetParent() const { return parent; }
    nNpkArchive* GetArchive() const { return archive; }
    // Absolute offset of a file's data within the archive file.
    uint64_t GetFileOffset() const { return offset; }
    uint32_t GetFileLength() const { return length; }

    // Appends a child in table-of-contents order; null (and the child dropped)
    // when a child of that name exists already.
    nNpkTocEntry* AddChild(std::unique_ptr<nNpkTocEntry> child);
    nNpkTocEntry* FindChild(const std::string& childName) const;
    nNpkTocEntry* GetHead() const { return children.empty() ? nullptr : children.front().get(); }
    nNpkTocEntry* GetSucc() const { return succ; }
    size_t GetNumChildren() const { return children.size(); }

    // The root path, '/', then the names from the archive's root directory down.
    std::string GetFullName() const;

private:
    std::string name;
    nNpkArchive* archive;
    const std::string* rootPath;
    nNpkTocEntry* parent;
    nNpkTocEntry* succ = nullptr;
    Type type;
    uint64_t offset;
    uint32_t length;
    std::vector<std::unique_ptr<nNpkTocEntry>> children;
    std::unordered_map<std::string, nNpkTocEntry*> childTable;
};
