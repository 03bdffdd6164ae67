#pragma once
#include <gtest/gtest.h>
#include <lua.hpp>

#include <cstdarg>
#include <string>

#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "script/nLuaServer2.h"

// A kernel with the script classes and a Lua server at "/sys/servers/script";
// every log text is kept so tests can check what was reported.
class nScriptFixture : public ::testing::Test {
protected:
    class CaptureLog : public nLogHandler {
    public:
        void Print(const char* fmt, va_list args) override { Add(fmt, args); }
        void Message(const char* fmt, va_list args) override { Add(fmt, args); }
        void Error(const char* fmt, va_list args) override { Add(fmt, args); }
        std::string text;

    private:
        void Add(const char* fmt, va_list args);
    };

    void SetUp() override;
    void TearDown() override;

    // Runs script text through the server.
    bool Run(const std::string& text);
    // The global `name` as text ("nil" for nil, "<type>" for values without text).
    std::string Global(const char* name);
    // The Lua type name of the global `name`.
    std::string GlobalType(const char* name);
    bool LogHas(const std::string& part) const { return log.text.find(part) != std::string::npos; }
    nRoot* Lookup(const char* path) { return kernel->Lookup(path); }

    static std::string SourceDir();

    CaptureLog log;
    nKernelServer* kernel = nullptr;
    nLuaServer2* server = nullptr;
};
