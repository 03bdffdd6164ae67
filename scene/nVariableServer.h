#pragma once
// Compact identities for typed variables (script class "nvariableserver", at
// "/sys/servers/variable", no commands): each name is declared once with an optional
// four-character code and gets a handle, its index in the declaration table. The server
// also keeps one global context of variable values keyed by handle.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "kernel/nArray.h"
#include "kernel/nRoot.h"
#include "kernel/nString.h"

struct nVariableDecl {
    nString name;       // empty for a variable declared by code only
    uint32_t code = 0;  // 0 for none
};

// One typed value; a text value is owned and copied with the variable. A text written
// over a text that fits its room reuses it, so values set every frame allocate nothing.
class nVariable {
public:
    enum Type : uint32_t { Void = 0, Int = 1, Float = 2, Vector4 = 3, String = 4, Raw = 5 };
    static constexpr uint32_t NoHandle = 0xffffffffu;

    nVariable() = default;
    nVariable(const nVariable& other) { *this = other; }
    // Values without text copy inline: events and channels copy them by the thousand.
    nVariable& operator=(const nVariable& other) {
        if (type_ == String || other.type_ == String) return assignText(other);
        handle_ = other.handle_;
        type_ = other.type_;
        value_ = other.value_;
        return *this;
    }
    ~nVariable() { clearText(); }

    uint32_t GetHandle() const { return handle_; }
    void SetHandle(uint32_t h) { handle_ = h; }
    Type GetType() const { return type_; }

    void SetI(int32_t v) {
        if (type_ == String) clearText();
        type_ = Int;
        value_ = {};
        value_.i[0] = v;
    }
    void SetF(float v) {
        if (type_ == String) clearText();
        type_ = Float;
        value_ = {};
        value_.f[0] = v;
    }
    void SetV4(const float v[4]);
    void SetS(const char* text);  // a copy; null stores the empty text
    void SetRaw(uint32_t word);
    int32_t GetI() const { return value_.i[0]; }
    float GetF() const { return value_.f[0]; }
    const float* GetV4() const { return value_.f; }
    const char* GetS() const { return type_ == String ? value_.t.s : nullptr; }
    uint32_t GetRaw() const { return value_.u[0]; }

private:
    nVariable& assignText(const nVariable& other);
    void clearText();

    uint32_t handle_ = NoHandle;
    Type type_ = Void;
    union {
        int32_t i[4];
        float f[4];
        uint32_t u[4];
        struct {
            char* s;
            size_t room;
        } t;
    } value_ = {};
};

class nVariableServer : public nRoot {
public:
    static const nClassInfo classInfo;
    static constexpr int NoHandle = -1;
    // Declarations never go, and names come from what data set up too (a character's
    // animation channels): beyond these a new one is refused (logged once) with NoHandle.
    static constexpr int MaxDeclarations = 16384;
    static constexpr size_t MaxNameLength = 255;

    nVariableServer();
    ~nVariableServer() override;

    int FindVariableByFourCC(uint32_t code) const;
    int FindVariableByName(const char* name) const;
    uint32_t GetFourCC(int handle) const;
    // The name (null when empty) and code of a declared handle; false for any other.
    bool GetVariableInfo(int handle, const char*& name, uint32_t& code) const;
    const char* GetVariableName(int handle) const;
    // The handle, declaring the name (code 0) or the code (empty name) when new.
    int GetVariableHandleByName(const char* name);
    int GetVariableHandleByFourCC(uint32_t code);
    // The handle of (name, code), declared when both are new. A name already declared
    // with another code, or a code with another name, stops the program. Code 0 and the
    // empty name identify nothing, so a name-only and a code-only declaration never meet.
    int DeclareVariable(const char* name, uint32_t code);
    int GetNumDeclarations() const { return decls_.Size(); }

    // The global context: the value of a handle is replaced, or appended when new.
    void SetIntVariable(int handle, int32_t v);
    void SetFloatVariable(int handle, float v);
    void SetVector4Variable(int handle, const float v[4]);
    void SetStringVariable(int handle, const char* text);
    // The variable of a handle in the global context, null when it has none.
    const nVariable* GetGlobalVariable(int handle) const;
    int GetNumGlobalVariables() const { return globals_.Size(); }

private:
    nVariable& globalSlot(int handle);
    // False (logged) for a name longer than MaxNameLength.
    static bool nameFits(const char* name);

    struct NameHash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };

    nArray<nVariable> globals_;
    nArray<nVariableDecl> decls_;
    // The handle of each name declared, so that finding a name costs the same however many
    // there are.
    std::unordered_map<std::string, int, NameHash, std::equal_to<>> byName_;
    bool fullLogged_ = false;
};
