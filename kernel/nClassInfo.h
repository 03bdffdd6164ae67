#pragma once
#include <cstddef>
#include <new>
#include <type_traits>

#include "kernel/nCmdDef.h"

class nClass;
class nRoot;

// Everything the kernel needs to register a class: script name, superclass name,
// instance size, how to make an object, and the command table. Built at compile time
// with Make<T>(); see kernel/nClass.h.
struct nClassInfo {
    const char* name;
    const char* superName;  // null only for "nroot"
    int instanceSize;
    nRoot* (*newObject)();  // null for a class that cannot be instantiated
    const void* cmds;       // the class's nCmdDef<T> table
    int numCmds;
    void (*addCmds)(nClass* cls, const void* cmds, int numCmds);
    // Names of the class's own commands that data's text may call on objects under "/sys"
    // (harmless reads and what the game's data-started flows need); subclasses inherit
    // them. A command not listed stays the person's.
    const char* const* dataSafe;
    int numDataSafe;

    template <class T, size_t N>
    static constexpr nClassInfo Make(const char* name, const char* superName,
                                     const nCmdDef<T> (&table)[N]) {
        return {name, superName, static_cast<int>(sizeof(T)), NewFn<T>(), table,
                static_cast<int>(N), &AddCmdsOf<T>, nullptr, 0};
    }
    // The same with the names of the commands open to data (see dataSafe).
    template <class T, size_t N, size_t M>
    static constexpr nClassInfo Make(const char* name, const char* superName, const nCmdDef<T> (&table)[N],
                                     const char* const (&dataSafe)[M]) {
        return {name, superName, static_cast<int>(sizeof(T)), NewFn<T>(), table,
                static_cast<int>(N), &AddCmdsOf<T>, dataSafe, static_cast<int>(M)};
    }
    // A class that registers no commands of its own (it inherits its superclass's).
    template <class T>
    static constexpr nClassInfo Make(const char* name, const char* superName) {
        return {name, superName, static_cast<int>(sizeof(T)), NewFn<T>(), nullptr, 0, nullptr, nullptr, 0};
    }

private:
    template <class T>
    static nRoot* NewObject() {
        return new (std::nothrow) T();
    }
    template <class T>
    static constexpr nRoot* (*NewFn())() {
        if constexpr (std::is_abstract_v<T>)
            return nullptr;
        else
            return &NewObject<T>;
    }
    template <class T>
    static void AddCmdsOf(nClass* cls, const void* cmds, int numCmds);
};
