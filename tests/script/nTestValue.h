#pragma once
#include <string>

#include "kernel/nRoot.h"

// A test object with one command per argument type, so the script binding's
// conversions can be checked in both directions.
class nTestValue : public nRoot {
public:
    static const nClassInfo classInfo;

    int i = 0;
    float f = 0.0f;
    bool b = false;
    bool hasText = false;
    std::string s;
    nRoot* o = nullptr;
    std::string loaded;  // argument of the last "load"
    int quitCalls = 0;
    int calls = 0;  // every command that ran
};
