#pragma once
// Named collision classes and the symmetric matrix of pair types between them, shared
// by both collide servers. Messages name the server that owns the table.
#include "collide/nCollClass.h"
#include "collide/nCollType.h"
#include "kernel/nList.h"

class nRoot;

class nCollClassTable {
public:
    explicit nCollClassTable(const nRoot* owner) : owner_(owner) {}
    ~nCollClassTable();
    nCollClassTable(const nCollClassTable&) = delete;
    nCollClassTable& operator=(const nCollClassTable&) = delete;

    void BeginCollClasses();
    // Existing names are skipped; an empty name is refused (logged).
    void AddCollClass(const char* name);
    void EndCollClasses() { classesOpen_ = false; }
    // Starts a matrix of the current class count, every pair "ignore".
    void BeginCollTypes();
    // Sets both halves; unknown names set nothing (logged).
    void AddCollType(const char* name1, const char* name2, nCollType type);
    void EndCollTypes() { typesOpen_ = false; }
    // The pair type of two class indices; indices outside the matrix (classes added
    // after BeginCollTypes) give "ignore".
    nCollType GetCollType(int index1, int index2) const {
        if (index1 == -1 || index2 == -1) return COLLTYPE_IGNORE;
        if (index1 == -2 || index2 == -2) return COLLTYPE_QUICK;
        if (index1 == -3 || index2 == -3) return COLLTYPE_CONTACT;
        if (index1 == -4 || index2 == -4) return COLLTYPE_EXACT;
        if (index1 < 0 || index2 < 0 || index1 >= matrixSide_ || index2 >= matrixSide_) return COLLTYPE_IGNORE;
        return collTypes_[index1 * matrixSide_ + index2];
    }
    // Index of the class; -1 (logged) for an unknown name, which collides with nothing.
    int QueryCollClass(const char* name) const;
    // -1 without a log entry.
    int FindCollClass(const char* name) const;
    int GetNumCollClasses() const { return numCollClasses_; }

private:
    void freeClasses();

    const nRoot* owner_;
    bool classesOpen_ = false;
    bool typesOpen_ = false;
    nList collClasses_;
    int numCollClasses_ = 0;
    nCollType* collTypes_ = nullptr;
    int matrixSide_ = 0;
};
