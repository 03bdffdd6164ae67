#pragma once
#include <gtest/gtest.h>
#include <lua.hpp>

#include <chrono>
#include <cstdarg>
#include <filesystem>
#include <string>

#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"
#include "script/nLuaServer2.h"
#include "tests/platform/system/TestRunClock.h"

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
    int calls = 0;  // every setter that ran
};

// A kernel with the script classes and a Lua server at "/sys/servers/script", a
// folder of the test's own, and every log text kept so tests can check what was reported.
class nScriptFixture : public ::testing::Test {
protected:
    class CaptureLog : public nLogHandler {
    public:
        void Print(const char* fmt, va_list args) override { Add(fmt, args); }
        void Message(const char* fmt, va_list args) override { Add(fmt, args); }
        void Error(const char* fmt, va_list args) override { Add(fmt, args); }
        std::string text;
        // A text holding `holdOn` moves `clock` as the machine holding the thread off its core
        // for `hold` does, now and then on a loaded machine; or, with `ownWait`, as the thread
        // waiting that long itself does (a full pipe on standard output).
        std::string holdOn;
        std::chrono::milliseconds hold{};
        bool ownWait = false;
        bwtest::TestRunClock* clock = nullptr;

    private:
        void Add(const char* fmt, va_list args);
    };

    void SetUp() override;
    void TearDown() override;

    // Runs script text through the server.
    bool Run(const std::string& text);
    // The global `name` as text ("nil" for nil, "<type>" for values without text).
    std::string Global(const char* name);
    // The value of a Lua expression as Global gives it; "<error>" when it does not run.
    std::string Eval(const std::string& expr) { return Run("__eval = " + expr) ? Global("__eval") : "<error>"; }
    // The Lua type of a value ("integer" and "float" for numbers).
    std::string TypeOf(const std::string& expr) { return Eval("math.type(" + expr + ") or type(" + expr + ")"); }
    bool LogHas(const std::string& part) const { return log.text.find(part) != std::string::npos; }
    nRoot* Lookup(const char* path) { return kernel->Lookup(path); }
    nTestValue* NewValue(const char* path) { return static_cast<nTestValue*>(kernel->New("ntestvalue", path)); }

    // A path in the test's folder.
    std::string Path(const std::string& name) const { return (dir / name).string(); }
    // Writes `text` to Path(name), making folders on the way; returns the path.
    std::string Write(const std::string& name, const std::string& text);
    static std::string Slurp(const std::string& path);
    // Runs `text` as a data file into a fresh "/load"; false when it was refused.
    bool LoadData(const std::string& text) {
        if (nRoot* old = Lookup("/load")) old->Release();
        nRoot* root = kernel->New("nroot", "/load");
        const char* result = nullptr;
        return server->RunDataFile(Write("data.n", text).c_str(), root, result);
    }
    static std::string SourceDir();

    CaptureLog log;
    nKernelServer* kernel = nullptr;
    nLuaServer2* server = nullptr;
    // Named by process and test: CTest runs the cases side by side.
    std::filesystem::path dir;
};
