#pragma once
#include <cstdint>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "kernel/nArg.h"
#include "kernel/nCmd.h"
#include "kernel/nCmdProto.h"

class nRoot;

// One row of a class's command table: prototype text, four-character id and a handler
// typed on the class, side by side. See kernel/nClass.h for the whole pattern.
template <class T>
struct nCmdDef {
    using Handler = void (*)(T* self, nCmd* cmd);

    constexpr nCmdDef(const char* protoText, const char (&fourCC)[5], Handler h)
        : proto(protoText), id(nId(fourCC)), handler(h) {}
    constexpr nCmdDef(const char* protoText, uint32_t fourCC, Handler h)
        : proto(protoText), id(fourCC), handler(h) {}

    constexpr nCmdDef(const char* protoText, uint32_t fourCC, Handler h, nCmdProto::Getter g,
                      nCmdProto::TextGetter tg = nullptr)
        : proto(protoText), id(fourCC), handler(h), getter(g), textGetter(tg) {}
    constexpr nCmdDef(const char* protoText, uint32_t fourCC, Handler h, nCmdProto::FloatSetter fs)
        : proto(protoText), id(fourCC), handler(h), floatSetter(fs) {}

    const char* proto;
    uint32_t id;
    Handler handler;
    // The handler's work without a command, for rows that are a getter (see nCmdProto).
    nCmdProto::Getter getter = nullptr;
    nCmdProto::TextGetter textGetter = nullptr;
    // The handler's work with its float inputs from an array (see nCmdProto).
    nCmdProto::FloatSetter floatSetter = nullptr;

    // Adapts the typed handler to the proto's untyped call: the function pointer is
    // stored as a plain RawFn and cast back to its own type here.
    static void Invoke(nCmdProto::RawFn fn, nRoot* obj, nCmd* cmd) {
        reinterpret_cast<Handler>(fn)(static_cast<T*>(obj), cmd);
    }
};

// ---- C++ values and prototype letters

// The prototype letter a C++ value travels as: 'b' bool, 'i' integers and enums, 'f'
// float and double, 's' texts (const char*; std::string as a result), 'o' pointers to
// tree objects; 0 for a type no command can carry.
template <class V>
constexpr char nArgLetterOf() {
    using D = std::remove_cvref_t<V>;
    if constexpr (std::is_same_v<D, bool>) {
        return 'b';
    } else if constexpr (std::is_floating_point_v<D>) {
        return 'f';
    } else if constexpr (std::is_integral_v<D> || std::is_enum_v<D>) {
        return 'i';
    } else if constexpr (std::is_same_v<D, const char*> || std::is_same_v<D, char*> ||
                         std::is_same_v<D, std::string>) {
        return 's';
    } else if constexpr (std::is_pointer_v<D>) {
        using P = std::remove_cv_t<std::remove_pointer_t<D>>;
        if constexpr (std::is_class_v<P> && std::is_base_of_v<nRoot, P>) return 'o';
        else return 0;
    } else {
        return 0;
    }
}

// Whether a value of letter `have` fills a slot of prototype letter `want`: texts
// fill both text letters ('s' and 'c').
constexpr bool nArgLetterFits(char have, char want) {
    return have == want || (have == 's' && want == 'c');
}

// Writes a C++ value into a slot, keeping the slot's text type ('s' or 'c').
template <class V>
void nArgWrite(nArg* arg, const V& value) {
    using D = std::remove_cvref_t<V>;
    constexpr char letter = nArgLetterOf<D>();
    static_assert(letter != 0, "no prototype letter carries this type");
    if constexpr (letter == 'b') {
        arg->SetB(value);
    } else if constexpr (letter == 'f') {
        arg->SetF(static_cast<float>(value));
    } else if constexpr (letter == 'i') {
        arg->SetI(static_cast<int32_t>(value));
    } else if constexpr (letter == 's') {
        const char* text;
        if constexpr (std::is_same_v<D, std::string>) text = value.c_str();
        else text = value;
        if (arg->GetType() == nArg::Code) arg->SetC(text);
        else arg->SetS(text);
    } else if constexpr (letter == 'o') {
        arg->SetO(const_cast<nRoot*>(static_cast<const nRoot*>(value)));
    }
}

// As nArgWrite for a function's result: a const char* result into an 's' slot is
// borrowed, not copied (the outputs of a call are read right after it).
template <class V>
void nArgWriteResult(nArg* arg, const V& value) {
    using D = std::remove_cvref_t<V>;
    if constexpr (std::is_same_v<D, const char*> || std::is_same_v<D, char*>) {
        if (arg->GetType() == nArg::String) {
            arg->BorrowS(value);
            return;
        }
    }
    nArgWrite(arg, value);
}

// Reads a slot as the C++ parameter type V.
template <class V>
V nArgRead(const nArg* arg) {
    using D = std::remove_cvref_t<V>;
    constexpr char letter = nArgLetterOf<D>();
    static_assert(letter != 0, "no prototype letter carries this type");
    static_assert(!std::is_same_v<D, std::string> && !std::is_same_v<D, char*>,
                  "text parameters are taken as const char*");
    if constexpr (letter == 'b') {
        return arg->GetB();
    } else if constexpr (letter == 'f') {
        return static_cast<D>(arg->GetF());
    } else if constexpr (letter == 'i') {
        return static_cast<D>(arg->GetI());
    } else if constexpr (letter == 's') {
        return arg->GetS();
    } else {
        // An object of another class than the parameter's arrives as null.
        using P = std::remove_pointer_t<D>;
        if constexpr (std::is_same_v<std::remove_cv_t<P>, nRoot>) return arg->GetO();
        else return dynamic_cast<P*>(arg->GetO());
    }
}

// ---- rows that name a member function

namespace nCmdBindDetail {
// A text result the object keeps, which a caller may take as it is.
template <class R>
constexpr bool isBorrowedText = std::is_same_v<R, const char*> || std::is_same_v<R, char*>;

// A function of one to four float (or double) values and no result.
template <class R, class... A>
constexpr bool IsFloatSetter() {
    return std::is_void_v<R> && sizeof...(A) >= 1 && sizeof...(A) <= 4 &&
           (std::is_floating_point_v<std::remove_cvref_t<A>> && ...);
}

// Reads the inputs in order (a braced list runs left to right), calls, writes the result.
template <class R, class... A, class Fn>
void Call(nCmd* cmd, Fn&& fn) {
    std::tuple<std::remove_cvref_t<A>...> args{nArgRead<std::remove_cvref_t<A>>(cmd->In())...};
    if constexpr (std::is_void_v<R>) {
        std::apply(fn, args);
    } else {
        nArgWriteResult(cmd->Out(), std::apply(fn, args));
    }
}
}  // namespace nCmdBindDetail

// Letters of a member function's result and parameters, and its call as a handler.
template <auto F>
struct nCmdCall;

// What both member-function forms share: F is called the same way whether it is const.
template <auto F, class C, class R, class... A>
struct nCmdCallOf {
    using Class = C;
    using Result = R;
    static constexpr char resultLetter = std::is_void_v<R> ? 'v' : nArgLetterOf<R>();
    static constexpr char argLetters[sizeof...(A) + 1] = {nArgLetterOf<A>()..., 0};
    static constexpr int numArgs = sizeof...(A);
    template <class T>
    static void Run(T* self, nCmd* cmd) {
        nCmdBindDetail::Call<R, A...>(cmd, [self](auto&&... args) -> R { return (self->*F)(args...); });
    }
    template <class T>
    static void Get([[maybe_unused]] nRoot* obj, [[maybe_unused]] nArg* out) {
        if constexpr (sizeof...(A) == 0 && !std::is_void_v<R>) nArgWriteResult(out, (static_cast<T*>(obj)->*F)());
    }
    template <class T>
    static const char* GetText([[maybe_unused]] nRoot* obj) {
        if constexpr (sizeof...(A) == 0 && nCmdBindDetail::isBorrowedText<R>) return (static_cast<T*>(obj)->*F)();
        else return nullptr;
    }
    static constexpr bool isFloatSetter = nCmdBindDetail::IsFloatSetter<R, A...>();
    template <class T>
    static void SetFloats([[maybe_unused]] nRoot* obj, [[maybe_unused]] const float* in) {
        if constexpr (isFloatSetter) {
            [&]<size_t... I>(std::index_sequence<I...>) {
                (static_cast<T*>(obj)->*F)(static_cast<std::remove_cvref_t<A>>(in[I])...);
            }(std::index_sequence_for<A...>{});
        }
    }
};

template <class C, class R, class... A, R (C::*F)(A...)>
struct nCmdCall<F> : nCmdCallOf<F, C, R, A...> {
    static constexpr bool isConst = false;
};

template <class C, class R, class... A, R (C::*F)(A...) const>
struct nCmdCall<F> : nCmdCallOf<F, C, R, A...> {
    static constexpr bool isConst = true;
};

namespace nCmdBindDetail {
// Declared, never defined, not constexpr: calling it in Bind() makes the compiler stop
// with this name at the row whose prototype letters do not match its function.
void PrototypeLettersDoNotMatchTheFunction();

// "outputs_name_inputs" against the letters of a result and parameters. Runs of '_'
// separate, 'v' means none.
consteval bool Matches(const char* proto, char resultLetter, const char* argLetters) {
    const char* parts[3] = {nullptr, nullptr, nullptr};
    int lens[3] = {0, 0, 0};
    int n = 0;
    for (const char* p = proto; *p;) {
        while (*p == '_') p++;
        if (!*p) break;
        const char* start = p;
        while (*p && *p != '_') p++;
        if (n >= 3) return false;
        parts[n] = start;
        lens[n] = static_cast<int>(p - start);
        n++;
    }
    if (n != 3) return false;
    // Outputs: one letter for the result, or none ('v') for void.
    int outs = 0;
    char out = 0;
    for (int i = 0; i < lens[0]; i++) {
        if (parts[0][i] == 'v') continue;
        out = parts[0][i];
        outs++;
    }
    if (resultLetter == 'v' ? outs != 0 : (outs != 1 || !nArgLetterFits(resultLetter, out))) return false;
    int k = 0;
    for (int i = 0; i < lens[2]; i++) {
        char want = parts[2][i];
        if (want == 'v') continue;
        if (!argLetters[k] || !nArgLetterFits(argLetters[k], want)) return false;
        k++;
    }
    return argLetters[k] == 0;
}
}  // namespace nCmdBindDetail

// A row made by Bind: it becomes the nCmdDef of any class that has the function.
template <auto F>
struct nBoundCmd {
    const char* proto;
    uint32_t id;
    template <class T>
    constexpr operator nCmdDef<T>() const {
        static_assert(std::is_base_of_v<typename nCmdCall<F>::Class, T>,
                      "the bound function belongs to another class than the table");
        using Call = nCmdCall<F>;
        constexpr char r = Call::resultLetter;
        if constexpr (Call::numArgs == 0 && nCmdBindDetail::isBorrowedText<typename Call::Result>) {
            return nCmdDef<T>(proto, id, &Call::template Run<T>, &Call::template Get<T>,
                              &Call::template GetText<T>);
        } else if constexpr (Call::numArgs == 0 && (r == 'i' || r == 'f' || r == 'b' || r == 's')) {
            return nCmdDef<T>(proto, id, &Call::template Run<T>, &Call::template Get<T>);
        } else if constexpr (Call::isFloatSetter) {
            return nCmdDef<T>(proto, id, &Call::template Run<T>, &Call::template SetFloats<T>);
        } else {
            return nCmdDef<T>(proto, id, &Call::template Run<T>);
        }
    }
};

// A command that is a plain call of one member function: its handler reads the inputs
// in order, calls the function and writes its result. The prototype letters are checked
// against the function's parameter and result types when the table compiles:
//   Bind<&nFoo::SetSpeed>("v_setspeed_f", "SSPD")
template <auto F>
consteval nBoundCmd<F> Bind(const char* protoText, const char (&fourCC)[5]) {
    using Call = nCmdCall<F>;
    if (Call::resultLetter == 0) nCmdBindDetail::PrototypeLettersDoNotMatchTheFunction();
    for (int i = 0; i < Call::numArgs; i++) {
        if (Call::argLetters[i] == 0) nCmdBindDetail::PrototypeLettersDoNotMatchTheFunction();
    }
    if (!nCmdBindDetail::Matches(protoText, Call::resultLetter, Call::argLetters)) {
        nCmdBindDetail::PrototypeLettersDoNotMatchTheFunction();
    }
    return nBoundCmd<F>{protoText, nId(fourCC)};
}
