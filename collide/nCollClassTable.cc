#include "collide/nCollClassTable.h"

#include <cstring>

#include "kernel/nKernelServer.h"
#include "kernel/nRoot.h"

nCollClassTable::~nCollClassTable() {
    freeClasses();
    delete[] collTypes_;
}

void nCollClassTable::freeClasses() {
    while (nNode* n = collClasses_.RemHead()) delete static_cast<nCollClass*>(n->GetPtr());
    numCollClasses_ = 0;
}

void nCollClassTable::BeginCollClasses() {
    freeClasses();
    classesOpen_ = true;
}

void nCollClassTable::AddCollClass(const char* name) {
    if (!name || !*name) {
        n_error("%s: addcollclass: a collision class needs a name\n", owner_->GetFullName().c_str());
        return;
    }
    if (FindCollClass(name) >= 0) return;
    collClasses_.AddTail(new nCollClass(name, numCollClasses_++));
}

void nCollClassTable::BeginCollTypes() {
    delete[] collTypes_;
    matrixSide_ = numCollClasses_;
    collTypes_ = new nCollType[size_t(matrixSide_) * size_t(matrixSide_) + 1];
    for (int i = 0; i < matrixSide_ * matrixSide_; i++) collTypes_[i] = COLLTYPE_IGNORE;
    typesOpen_ = true;
}

int nCollClassTable::FindCollClass(const char* name) const {
    if (!name) return -1;
    for (nNode* n = collClasses_.GetHead(); n; n = n->GetSucc()) {
        auto* cls = static_cast<nCollClass*>(n->GetPtr());
        if (std::strcmp(cls->name.Get(), name) == 0) return cls->index;
    }
    return -1;
}

void nCollClassTable::AddCollType(const char* name1, const char* name2, nCollType type) {
    int i1 = FindCollClass(name1);
    int i2 = FindCollClass(name2);
    if (i1 < 0 || i2 < 0) {
        n_error("%s: addcolltype: unknown collision class '%s'\n", owner_->GetFullName().c_str(),
                i1 < 0 ? (name1 ? name1 : "") : (name2 ? name2 : ""));
        return;
    }
    if (i1 >= matrixSide_ || i2 >= matrixSide_) {
        // Declared after BeginCollTypes: outside the matrix until the next one.
        n_error("%s: addcolltype: class '%s' was added after begincolltypes\n", owner_->GetFullName().c_str(),
                i1 >= matrixSide_ ? name1 : name2);
        return;
    }
    collTypes_[i1 * matrixSide_ + i2] = type;
    collTypes_[i2 * matrixSide_ + i1] = type;
}

int nCollClassTable::QueryCollClass(const char* name) const {
    int index = FindCollClass(name);
    if (index < 0) n_error("%s: unknown collision class '%s'\n", owner_->GetFullName().c_str(), name ? name : "");
    return index;
}
