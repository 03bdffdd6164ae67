#include "kernel/nHashTable.h"

#include <cstdint>

nHashTable::nHashTable(int bucketCount)
    : bucketCount_(bucketCount > 0 ? bucketCount : 1), buckets_(new nNamedList[bucketCount_]) {}

nHashTable::~nHashTable() { delete[] buckets_; }

int nHashTable::Hash(const char* text, int bucketCount) {
    if (!text || bucketCount <= 0) return 0;
    // Unsigned arithmetic: the sum of a very long text wraps instead of overflowing.
    uint32_t sum = 0;
    for (uint32_t i = 0; text[i]; i++) sum += static_cast<unsigned char>(text[i]) * (i + 1);
    return static_cast<int>(sum % static_cast<uint32_t>(bucketCount));
}

void nHashTable::Add(nNamedNode* node) {
    buckets_[Hash(node->GetName(), bucketCount_)].AddHead(node);
}

nNamedNode* nHashTable::Find(const char* name) const {
    if (!name) return nullptr;
    return buckets_[Hash(name, bucketCount_)].Find(name);
}
