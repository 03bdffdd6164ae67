#pragma once
#include "kernel/nNamedList.h"

// A fixed number of buckets of named nodes, chosen by the name hash. The table links
// nodes but never frees them.
class nHashTable {
public:
    explicit nHashTable(int bucketCount);
    ~nHashTable();
    nHashTable(const nHashTable&) = delete;
    nHashTable& operator=(const nHashTable&) = delete;

    // Sum of byte x (position + 1) over the text, modulo `bucketCount`. Other parts of
    // the program derive visible numbers from it (the remote server's port), so it is
    // fixed as it is.
    static int Hash(const char* text, int bucketCount);

    void Add(nNamedNode* node);
    nNamedNode* Find(const char* name) const;
    int GetBucketCount() const { return bucketCount_; }

private:
    int bucketCount_;
    nNamedList* buckets_;
};
