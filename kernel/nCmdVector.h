#pragma once
// Three-float command arguments and results as one vector, for commands that take or give
// a position, rotation or scale.
#include <cstdint>
#include <type_traits>

#include "kernel/nCmd.h"
#include "kernel/nCmdDef.h"
#include "kernel/vector3.h"

inline void PutVector3(nCmd* c, const vector3& v) {
    c->Out()->SetF(v.x);
    c->Out()->SetF(v.y);
    c->Out()->SetF(v.z);
}

inline vector3 GetVector3(nCmd* c) {
    const float x = c->In()->GetF();
    const float y = c->In()->GetF();
    return vector3(x, y, c->In()->GetF());
}

// A row whose command sets one vector from its three float inputs, a plain call of a
// member function taking a vector3 (a position or a scale); like Bind, it also gives the
// command its float setter, so that animations skip the command:
//   BindVector3<&nFoo::SetPosition>("v_txyz_fff", "TPOS")
template <auto F>
struct nVector3Cmd {
    const char* proto;
    uint32_t id;
    template <class T>
    constexpr operator nCmdDef<T>() const {
        static_assert(std::is_base_of_v<typename nCmdCall<F>::Class, T>,
                      "the bound function belongs to another class than the table");
        return nCmdDef<T>(
            proto, id, [](T* self, nCmd* c) { (self->*F)(GetVector3(c)); },
            [](nRoot* obj, const float* in) { (static_cast<T*>(obj)->*F)(vector3(in[0], in[1], in[2])); });
    }
};

template <auto F>
consteval nVector3Cmd<F> BindVector3(const char* protoText, const char (&fourCC)[5]) {
    static_assert(nCmdCall<F>::numArgs == 1 && std::is_void_v<typename nCmdCall<F>::Result>,
                  "BindVector3 takes a function of one vector3 and no result");
    const char letters[] = {'f', 'f', 'f', 0};
    if (!nCmdBindDetail::Matches(protoText, 'v', letters)) nCmdBindDetail::PrototypeLettersDoNotMatchTheFunction();
    return nVector3Cmd<F>{protoText, nId(fourCC)};
}
