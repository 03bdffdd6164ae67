#pragma once
// A tree object holding one typed value (script class "nenv"): settings under
// "/sys/env", run-time values under "/sys/var", assigns, channel indices.
#include <cstdint>

#include "kernel/nArg.h"
#include "kernel/nDataCharge.h"
#include "kernel/nRef.h"
#include "kernel/nRoot.h"

class nCmd;

class nEnv : public nRoot {
public:
    static const nClassInfo classInfo;

    nEnv();
    ~nEnv() override;

    // Writes the one setter that restores the current value (none for void).
    bool SaveCmds(nPersistServer* ps) override;

    nArg::Type GetType() const { return value_.GetType(); }
    // "void", "int", "float", "string", "bool" or "object".
    const char* GetTypeName() const;

    // Each setter sets type and value together.
    void SetI(int32_t v);
    void SetF(float v);
    void SetB(bool v);
    void SetS(const char* text);  // a copy; null stores the empty text
    // Held by a reference: the value reads null once the object dies.
    void SetO(nRoot* obj);
    // Back to void.
    void Clear();

    // Getters give a neutral value when the stored type differs: 0, 0.0, false,
    // null text, null object.
    int32_t GetI() const;
    float GetF() const;
    bool GetB() const;
    const char* GetS() const;
    nRoot* GetO() const;

private:
    // False (logged) while data's text runs and this is an assign.
    bool Writable() const;
    // The object slot of value_ stays null; object_ holds the object.
    nArg value_;
    nRef<nRoot> object_;
    nDataCharge charge_;  // a text that data set
};
