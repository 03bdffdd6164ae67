#pragma once
#include <cstddef>
#include <cstdint>

// Builds without NDEBUG (the test builds) check every typed read of a command argument
// and every command's outputs after its handler; release builds check nothing.
#ifndef NDEBUG
#define N_CMD_CHECKS 1
#endif

class nRoot;

// One typed argument or result of a script command. Texts are owned copies; objects
// are not owned. Callers that take untrusted input check types first
// (nCmd::CheckInputs); a getter that reads another type than the stored one is a
// fault of the program, which the checked build stops at with the command named.
class nArg {
public:
    enum Type : uint32_t {
        Void = 0,
        Int = 1,
        Float = 2,
        String = 3,
        Bool = 4,
        Object = 5,
        Code = 6,  // the second text type, prototype letter 'c'
    };

    nArg() = default;
    nArg(const nArg& other) { *this = other; }
    ~nArg() { Reset(); }
    nArg& operator=(const nArg& other);

    Type GetType() const { return type_; }
    // Frees an owned text and makes the argument void. Inline, as the setters: they
    // run for every argument of every command call.
    void Reset() {
        if ((type_ == String || type_ == Code) && value_.s && value_.s != inline_ && !borrowed_) FreeText();
        borrowed_ = false;
        type_ = Void;
        value_.raw = nullptr;
    }
    // Makes the argument the empty value of `type` (0, 0.0, null text, false, null object).
    void SetType(Type type) {
        Reset();
        type_ = type;
    }

    void SetI(int32_t v) {
        Reset();
        type_ = Int;
        value_.i = v;
    }
    void SetF(float v) {
        // A float stays a float: nothing to free (animated commands refill their floats
        // every frame).
        if (type_ != Float) {
            Reset();
            type_ = Float;
        }
        value_.f = v;
    }
    void SetS(const char* text);  // stores a copy; null stays null
    // Stores the pointer itself, for a result that is read before its owner can change
    // it (the rows made by Bind, whose outputs are taken right after the call). A copy
    // of the argument copies the text.
    void BorrowS(const char* text) {
        Reset();
        type_ = String;
        value_.s = const_cast<char*>(text);
        borrowed_ = text != nullptr;
    }
    void SetB(bool v) {
        Reset();
        type_ = Bool;
        value_.b = v;
    }
    void SetO(nRoot* obj) {
        Reset();
        type_ = Object;
        value_.o = obj;
    }
    void SetC(const char* text);

    int32_t GetI() const {
        Expect(Int);
        return value_.i;
    }
    float GetF() const {
        Expect(Float);
        return value_.f;
    }
    // Either text type; null for a null text.
    const char* GetS() const {
#ifdef N_CMD_CHECKS
        if (type_ != String && type_ != Code) TypeMismatch(String);
#endif
        return (type_ == String || type_ == Code) ? value_.s : nullptr;
    }
    bool GetB() const {
        Expect(Bool);
        return value_.b;
    }
    nRoot* GetO() const {
        Expect(Object);
        return type_ == Object ? value_.o : nullptr;
    }
    const char* GetC() const { return GetS(); }

    // Type of a prototype letter ('i', 'f', 's', 'b', 'o', 'c'; 'v' and others are Void).
    static Type TypeOfLetter(char letter);
    // Prototype letter of a type ('v' for Void).
    static char LetterOfType(Type type);

private:
    void SetText(Type type, const char* text);
    void FreeText();
    void Expect([[maybe_unused]] Type type) const {
#ifdef N_CMD_CHECKS
        if (type_ != type) TypeMismatch(type);
#endif
    }
    // Reports a read of the wrong type (naming the command when one is running) and
    // stops the program.
    [[noreturn]] void TypeMismatch(Type wanted) const;

    // Texts shorter than this live in the argument itself: most names and short
    // results then cost no allocation.
    static constexpr size_t InlineSize = 24;

    Type type_ = Void;
    bool borrowed_ = false;  // the text is not ours to free
    // Pointer-sized: objects and texts are stored in the same slot as numbers. A text
    // points at inline_ or at a heap copy, whose room inline_ then holds.
    union {
        int32_t i;
        float f;
        char* s;
        bool b;
        nRoot* o;
        void* raw;
    } value_ = {};
    char inline_[InlineSize];
};
