#pragma once
#include <lua.hpp>

#include <string>

#include "kernel/nRef.h"
#include "kernel/nScriptServer.h"
#include "script/nLuaBinding.h"
#include "script/nLuaWriter.h"

class nFileServer2;

// The Lua script server: binds the object tree and every class's script
// commands into a Lua interpreter, runs lines, buffers and files, runs
// queued text once per frame and publishes the interpreter's memory use.
class nLuaServer2 : public nScriptServer {
public:
    static const nClassInfo classInfo;

    nLuaServer2();
    ~nLuaServer2() override;

    void Initialize() override;

    bool Run(const char* text, const char*& result) override;
    bool RunScript(const char* fileName, const char*& result) override;
    void Enqueue(const char* text) override;
    bool Trigger() override;
    char* Prompt(char* buf, int size) override;

    // Objects written as Lua scripts (object files); see script/nLuaWriter.h.
    nFile* BeginWrite(const char* fileName, nRoot* obj) override {
        return writer.BeginWrite(fileName, obj, GetClass() ? GetClass()->GetName() : "nluaserver2");
    }
    bool WriteBeginNewObject(nFile* file, nRoot* obj, nRoot* cwd) override {
        return writer.WriteBeginNewObject(file, obj, cwd);
    }
    bool WriteBeginObjectCmd(nFile* file, nRoot* obj, nRoot* cwd, nCmd* cmd) override {
        return writer.WriteBeginObjectCmd(file, obj, cwd, cmd);
    }
    bool WriteBeginSelObject(nFile* file, nRoot* obj, nRoot* cwd) override {
        return writer.WriteBeginSelObject(file, obj, cwd);
    }
    bool WriteCmd(nString& target, nCmd* cmd) override { return writer.WriteCmd(target, cmd); }
    bool WriteObjectCmd(nFile* file, nCmd* cmd) override { return writer.WriteObjectCmd(file, cmd); }
    bool WriteEndObject(nFile* file, nRoot* obj, nRoot* cwd) override { return writer.WriteEndObject(file, obj, cwd); }
    bool EndWrite(nFile* file) override { return writer.EndWrite(file); }
    void AbortWrite(nFile* file) override { writer.AbortWrite(file); }

    // Runs `size` bytes of script text as one chunk named `chunkName` and
    // returns the result text (empty after an error).
    virtual const char* RunBuffer(const char* buf, size_t size, const char* chunkName);

    // A path with its assign replaced, through the file server.
    std::string ManglePath(const char* path);
    // Loads an object file through the persistence server; null on failure.
    nRoot* LoadObject(const char* fileName);

    lua_State* GetState() const { return L; }
    // The output text of the last command called from Lua.
    static const char* GetResult() { return ResultText().c_str(); }

    // Tag numbers of object values and command values, fixed for the process.
    static int objTag;
    static int cmdTag;

    // A script that grows the interpreter's heap past this gets a memory
    // error instead of taking the machine's memory.
    static constexpr size_t MemoryLimit = size_t(512) << 20;
    // The collector threshold that every frame sets, in kilobytes.
    static constexpr int GcThresholdKb = 700;

private:
    friend class nLuaBinding;

    // Loads and runs one text chunk; logs the error and returns false on failure.
    bool RunChunk(const char* buf, size_t size, const char* chunkName);
    void ReportError(const char* msg);
    // The kernel's file server; fatal when there is none.
    static nFileServer2* GetFileServer();
    static void* Allocate(void* ud, void* ptr, size_t osize, size_t nsize);
    static int MessageHandler(lua_State* L);
    static int Panic(lua_State* L);
    void PublishMemory();

    // Written by the binding; read it through ResultText, which first writes out a
    // result the binding left as a value.
    static std::string result;
    static const std::string& ResultText() {
        nLuaBinding::SettleResult(result);
        return result;
    }
    static void ClearResult() {
        nLuaBinding::DropResult();
        result.clear();
    }

    lua_State* L = nullptr;
    nLuaWriter writer;
    size_t memoryUsed = 0;
    int gcThreshold = GcThresholdKb;
    std::string pending;  // text queued for the next Trigger
    // The variable at `path`, found or made; true when this server made it.
    static bool MakeVariable(const char* path, nRef<nRoot>& ref);

    nRef<nRoot> refKbyteCount;
    nRef<nRoot> refGcThreshold;
    bool ownsKbyteCount = false;
    bool ownsGcThreshold = false;
};
