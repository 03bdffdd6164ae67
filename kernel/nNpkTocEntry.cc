#include "kernel/nNpkTocEntry.h"

nNpkTocEntry::nNpkTocEntry(nNpkArchive* archive, const std::string* rootPath, nNpkTocEntry* parent,
                           const std::string& name, Type type, uint64_t offset, uint32_t length)
    : name(name), archive(archive), rootPath(rootPath), parent(parent), type(type), offset(offset),
      length(length) {}

nNpkTocEntry::~nNpkTocEntry() = default;

nNpkTocEntry* nNpkTocEntry::AddChild(std::unique_ptr<nNpkTocEntry> child) {
    if (childTable.count(child->name)) return nullptr;
    nNpkTocEntry* raw = child.get();
    if (!children.empty()) children.back()->succ = raw;
    childTable.emplace(raw->name, raw);
    children.push_back(std::move(child));
    return raw;
}

nNpkTocEntry* nNpkTocEntry::FindChild(const std::string& childName) const {
    auto it = childTable.find(childName);
    return it == childTable.end() ? nullptr : it->second;
}

std::string nNpkTocEntry::GetFullName() const {
    std::string tail;
    for (const nNpkTocEntry* e = this; e; e = e->parent) {
        tail = tail.empty() ? e->name : e->name + "/" + tail;
    }
    return (rootPath ? *rootPath : std::string()) + "/" + tail;
}
