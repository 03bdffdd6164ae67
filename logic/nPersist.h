#pragma once
// A store of named, typed variables (script class "npersist"): int, float, text and
// four-float vector values, each keeping the type it was created with. It saves itself
// as one set command per variable in creation order, so loading the file into a fresh
// store rebuilds the same variables in the same order. All persistent game state, and
// the arguments of logic events, live in such stores.
#include <cstdint>

#include "kernel/nHashList.h"
#include "kernel/nObjectFileReader.h"
#include "kernel/nRoot.h"
#include "logic/nPersistVar.h"

class nPersist : public nRoot {
public:
    static const nClassInfo classInfo;

    nPersist();
    ~nPersist() override;

    bool SaveCmds(nPersistServer* ps) override;

    // What a save game may hold, read as values (kernel/nObjectFileReader.h): the classes
    // the save writes ("nroot", "npersist", "npersistlogic") and the stores' value setters.
    // A setter of a variable that holds another type is refused, and so is one the store
    // did not take. One rule for a load and for the check of a save just written. Its
    // bounds are on the save's shape, which play keeps: play writes short values into the
    // stores the level built, a store never holds more values than a save may (below),
    // moves keep stores within the depth (FitsBelow), and the one store play may make, a
    // missing "camp", has its room kept (the game observer). A path that play writes from
    // names stays within a text: "/usr/logic" and 16 names of 32 bytes with their '/'.
    static constexpr uint64_t MaxSaveObjects = 128;
    static constexpr int MaxSaveDepth = 16;
    static constexpr int MaxSaveValuesAStore = 64;
    static constexpr uint64_t MaxSaveNameBytes = 32;
    static constexpr uint64_t MaxSaveTextBytes = 1024;
    // The file's size: the most the object writer writes within the bounds above, every
    // object at the deepest with its longest class name and every value the longest text.
    static constexpr uint64_t MaxSaveBytes =
        nObjectFileReader::HeaderBytes +
        MaxSaveObjects * (nObjectFileReader::WrittenObjectBytes(13, MaxSaveNameBytes, MaxSaveDepth - 1) +
                          uint64_t(MaxSaveValuesAStore) *
                              nObjectFileReader::WrittenLineBytes(4,
                                                                  nObjectFileReader::WrittenTextBytes(MaxSaveNameBytes) +
                                                                      nObjectFileReader::WrittenTextBytes(MaxSaveTextBytes),
                                                                  2, MaxSaveDepth));
    static nObjectFileReader::Format SaveFormat();
    // Whether the store tree `tree` stays within a save's depth below `parent` (true for a
    // `parent` outside "/usr/persist").
    static bool FitsBelow(const nRoot* tree, const nRoot* parent);

    // Finds the variable `name` or appends it with the value's type, then copies the
    // value in (a text is copied). A value of another type than the stored variable's
    // is a program error: fatal "Aborting!\n". Scripts go through the checked commands.
    // A store holds at most MaxSaveValuesAStore values, as a save does: a new name past
    // them is not kept (null, logged once a store).
    nVariable* SetVar(const char* name, const nVariable& value);
    // The variable of exactly this name (case matters), null when there is none.
    nVariable* GetVar(const char* name) const;
    // Unlinks and frees the variable; an unknown name changes nothing.
    void RemoveVar(const char* name);

    int GetNumVars() const { return numVars_; }
    // The variable at `index` in creation order, null past the end (or below 0).
    nPersistVar* GetVarAt(int index) const;
    nPersistVar* GetFirstVar() const { return static_cast<nPersistVar*>(vars_.GetHead()); }
    nPersistVar* FindVar(const char* name) const;
    // "int", "float", "vector" or "string"; null for any other type.
    static const char* TypeName(nVariable::Type type);

    // The script commands: a setter whose type differs from the stored variable's and a
    // getter of a missing name or of another type log and change nothing, or give 0,
    // 0.0, "" or (0, 0, 0, 0).
    void SetI(const char* name, int32_t v);
    void SetF(const char* name, float v);
    void SetS(const char* name, const char* v);
    void SetV(const char* name, float x, float y, float z, float w);
    int32_t GetI(const char* name) const;
    float GetF(const char* name) const;
    const char* GetS(const char* name) const;
    void GetV(const char* name, float& x, float& y, float& z, float& w) const;
    // Position commands: "" past the end (the type getter also logs).
    const char* GetVarTypeAt(int index) const;
    const char* GetVarNameAt(int index) const;

private:
    // The variable for a script setter of a value of `textBytes`: found or made, or null
    // (logged) when it holds another type or data would keep more than it may.
    nVariable* ScriptSlot(const char* cmd, const char* name, nVariable::Type type, size_t textBytes);
    // The variable for a script getter, or null (logged) when missing or of another type.
    const nVariable* ScriptRead(const char* cmd, const char* name, nVariable::Type type) const;

    nHashList vars_;
    int numVars_ = 0;
    bool fullLogged_ = false;
};
