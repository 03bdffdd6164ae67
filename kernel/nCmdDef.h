#pragma once
#include <cstdint>

#include "kernel/nCmdProto.h"

class nCmd;

// One row of a class's command table: prototype text, four-character id and a handler
// typed on the class, side by side. See kernel/nClass.h for the whole pattern.
template <class T>
struct nCmdDef {
    using Handler = void (*)(T* self, nCmd* cmd);

    constexpr nCmdDef(const char* protoText, const char (&fourCC)[5], Handler h)
        : proto(protoText), id(nId(fourCC)), handler(h) {}
    constexpr nCmdDef(const char* protoText, uint32_t fourCC, Handler h)
        : proto(protoText), id(fourCC), handler(h) {}

    const char* proto;
    uint32_t id;
    Handler handler;

    // Adapts the typed handler to the proto's untyped call: the function pointer is
    // stored as a plain RawFn and cast back to its own type here.
    static void Invoke(nCmdProto::RawFn fn, nRoot* obj, nCmd* cmd) {
        reinterpret_cast<Handler>(fn)(static_cast<T*>(obj), cmd);
    }
};
