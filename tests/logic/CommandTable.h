#pragma once
// A class's own script commands as (prototype, id) pairs in registration order, for
// comparing with the table its scripts and saved files rely on.
#include <string>
#include <utility>
#include <vector>

#include "kernel/nClass.h"
#include "kernel/nKernelServer.h"

using CommandTable = std::vector<std::pair<std::string, std::string>>;

// Each id is named by the row of `expected` that carries it; an id no row has reads "?".
inline CommandTable OwnCommands(nKernelServer* kernel, const char* className, const CommandTable& expected) {
    CommandTable out;
    nClass* cls = kernel->FindClass(className);
    for (nCmdProto* p = cls ? cls->GetFirstCmd() : nullptr; p; p = p->GetNextCmd()) {
        std::string id = "?";
        for (const auto& row : expected) {
            if (nId(row.second.c_str()) == p->GetId()) id = row.second;
        }
        out.emplace_back(p->GetProtoText(), id);
    }
    return out;
}
