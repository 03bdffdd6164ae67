#pragma once
#include <lua.hpp>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/nRef.h"
#include "kernel/nScriptServer.h"
#include "script/nDataText.h"
#include "script/nLuaBinding.h"
#include "script/nLuaRunBounds.h"
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
    bool RunCatching(const char* text, const char*& result, std::string& error) override;
    bool RunScript(const char* fileName, const char*& result) override;
    void Enqueue(const char* text) override;
    // The file runs in an environment of "new", "sel", "up" and the commands of the
    // current object, which must stay at or below `root`; commands that give values back,
    // script servers, observers and other servers, object arguments outside `root`, and
    // any script text or file run while it loads are refused.
    bool RunDataFile(const char* fileName, nRoot* root, const char*& result) override;
    // The line sees the globals but those below; what it queues runs the same way, and
    // script text it runs through a command too. A script file run on its behalf (a
    // level's map) runs as a start script does.
    bool RunLine(const char* text, const char*& result) override;
    // Data's text runs under a line's budgets and its share of the frame, in an environment
    // of its own (script/nDataText.h says what it reaches and costs). The globals it sets
    // live only for its run. Any other global it reads is refused with one log line and
    // reads as a value that does nothing and gives itself when called or indexed, so the
    // text goes on.
    bool RunDataText(const char* text, const char*& result) override;
    // Declares `name` as an entry that data's text may call, with `values` the values it
    // takes: one per argument, each a list of the values allowed or the name of a type
    // ("string", "number", "boolean"). Called, the entry checks its values (their count,
    // types, allowed values) and then calls the person's global function of that name as a
    // start script would; once frames began, at most once a frame (later calls refused).
    // False (logged) when a person's text does not declare it or the declaration is
    // malformed. The script global "dataentry(name, values[, 'input'])" does this for a
    // person's text.
    // With `whenIndex` (not 0) at the text "input", the entry answers the person's key or
    // click: once frames began, it runs only within InputAnswerFrames frames after one (a
    // key or a click reaches a movie's line a frame or two later).
    bool DeclareDataEntry(int nameIndex, int valuesIndex, int whenIndex = 0);
    static constexpr uint32_t InputAnswerFrames = 3;
    // The entries declared so far.
    size_t DataEntryCount() const { return entries_.size(); }
    // Most entries and values an entry may declare.
    static constexpr size_t MaxDataEntries = 64;
    static constexpr int MaxEntryValues = 16;
    bool RunMapFile(const char* fileName, Origin origin, const char*& result) override;

    // A data file bigger than this is refused before a byte of it is read.
    static constexpr size_t MaxDataFileSize = size_t(64) << 20;
    // Lua instructions a data file, and a line with the lines it runs, may take.
    // C work in the string, table and utf8 libraries and allocation (LuaGuards' rates)
    // are charged as instructions too.
    static constexpr long long DataBudget = 100'000'000;
    static constexpr long long LineBudget = 10'000'000;
    // Wall-clock time they may take, not counting runs nested in them that have bounds of
    // their own or none (a level's map file that a line loads).
    static constexpr std::chrono::seconds DataTime{10};
    static constexpr std::chrono::seconds LineTime{5};
    // Bytes either may hand to commands (text arguments, and nLuaRunBounds::BytesACommand
    // a call), C++ memory the interpreter does not count, and objects either may make.
    static constexpr uint64_t RunCommandBytes = MaxDataFileSize;
    static constexpr uint64_t RunObjects = 100'000;
    // What data's text may spend a frame, together: its timers, handlers and lines, a data
    // file that it loads, and movies' code (nDataText). Frames begin with Trigger; before
    // the first, runs keep only their own budgets. A line that begins while some of the
    // share is left may take up to a whole share, so a frame's data text never takes more
    // than FrameCeiling instructions, nor more than twice the share of the frame's time
    // (not counting runs nested in it that have bounds of their own); once the share is
    // spent, a line waits for a later frame (a timer waits itself, TimerWaits).
    static constexpr long long FrameBudget = nDataText::FrameBudget;
    static constexpr long long FrameCeiling = nDataText::FrameCeiling;
    // What every line costs besides its instructions: compiling it (an instruction a byte
    // as well), setting it up and its engine call.
    static constexpr long long InstructionsARun = 2'000;
    // The engine's work in a command call, which the interpreter does not count.
    static constexpr long long InstructionsACommand = 100;
    static constexpr long long InstructionsARefusal = nDataText::InstructionsARefusal;
    // Lines that wait for a later frame, and their bytes; more are refused (logged).
    static constexpr size_t MaxWaiting = 1'000;
    static constexpr size_t MaxWaitingBytes = size_t(1) << 20;
    bool DataWaits() const override;
    bool TimerWaits(uint32_t lastRan) override;
    uint32_t DataFrame() const override { return data_.Frame(); }
    bool LastRunPassedFrame() const override { return passedFrame_; }
    uint64_t ForeignShare(sys::ForeignCall call, sys::ForeignTurn& turn) override;
    std::chrono::steady_clock::duration ForeignTime(sys::ForeignCall call, const sys::ForeignTurn& turn) const override;
    void ForeignSpent(uint64_t instructions, std::chrono::steady_clock::duration taken,
                      std::chrono::steady_clock::duration wall, sys::ForeignTurn& turn) override;
    // Instructions data's text has spent in this frame so far.
    long long FrameSpent() const { return data_.FrameSpent(); }
    // Levels below the object a data file loads into that its objects may lie.
    static constexpr int MaxDataDepth = 256;
    // Globals a line may not read or set: the libraries and functions that reach files,
    // processes or the bindings' own machinery.
    static bool IsClosedToLines(const char* name);

    // From now on SIGINT and SIGTERM stop the script that `server` runs at its next
    // instructions and make its next Trigger end the main loop; a handler installed
    // before (the window layer's) is called as well, and may not take the signal over.
    // A script of that server that runs for long is asked every quarter second whether
    // `closed` (when set) says the window was closed; then it stops the same way. Null
    // `server` lets go of the signals' target and ends that watch: a stop signal after
    // that ends the process at once with 128 + its number.
    // A stop that has not reached the main loop within sys::StopWatchdog::Grace (C code that
    // does not return) ends the process with 128 + the signal's number (3 for a closed window).
    static void CatchStopSignals(nLuaServer2* server, bool (*closed)() = nullptr);
    static bool StopRequested() { return stopRequested_ != 0; }
    // A stop asked for has reached the main loop, which ends (at the next Trigger, or when
    // the loop ended by another way first): scripts run again, as shutdown needs, and the
    // watch is over.
    void AnswerStop();
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

    // Takes `cost` instructions from the budget of the run going on (nothing in a trusted
    // run) and looks at its clock; past a bound of the run it raises a Lua error, after
    // which every instruction fails. Only from C functions the interpreter runs.
    static void Charge(lua_State* L, uint64_t cost);
    // True while Charge charges (or answers a stop): the library guards' quick way past.
    static bool Charging(lua_State* L);
    // Charges a command call from a budgeted run with the `count` values from `first` as
    // its arguments: their text's bytes and the call itself (see RunCommandBytes). It
    // raises as Charge does; call it before the command holds anything of its own.
    static void ChargeCommand(lua_State* L, int first, int count);
    // Charges a global of a budgeted run that walks the object paths among its first `count`
    // arguments: an instruction a byte; with `makes`, an object a path component as
    // well, refused before the first is made. It raises as Charge does.
    static void ChargePaths(lua_State* L, int count, bool makes);
    // The output text of the last command called from Lua.
    static const char* GetResult() { return ResultText().c_str(); }

    // Tag numbers of object values and command values, fixed for the process.
    static int objTag;
    static int cmdTag;

    // A script that grows the interpreter's heap past this gets a memory
    // error instead of taking the machine's memory.
    static constexpr size_t MemoryLimit = size_t(512) << 20;
    // What data's text may grow it to.
    static constexpr size_t DataMemoryLimit = size_t(128) << 20;
    // The collector threshold that every frame sets, in kilobytes.
    static constexpr int GcThresholdKb = 700;

private:
    friend class nLuaBinding;

    // How far a chunk is trusted: a start script, a line from outside, or a data file.
    enum class Trust { Full, Line, Data };
    // What a run nested in another takes from the run around it, given back by Restore: its
    // trust, and its bounds less what the nested run spent (when `resume`).
    struct OuterRun {
        explicit OuterRun(const nLuaServer2& server);
        void Restore(nLuaServer2& server, bool resume) const;
        Trust trust;
        nLuaRunBounds bounds;
        std::chrono::steady_clock::duration started;  // the thread's run time (sys::RunClock)
        std::chrono::steady_clock::time_point begun;
        uint64_t objects;
        uint64_t bytes;
    };

    // Loads and runs one text chunk; logs the error and returns false on failure (the
    // error goes to `error` instead when one is given).
    // `dataText`: a line's run in data's own environment (RunDataText) instead of the line's.
    bool RunChunk(const char* buf, size_t size, const char* chunkName, Trust mode, std::string* error = nullptr,
                  bool dataText = false);
    // Run and RunCatching: a failure logged, or given to `error` when there is one.
    bool RunText(const char* text, const char*& result, std::string* error);
    // RunLine and RunDataText: a line of its own waits when the frame's share is spent.
    bool RunBudgetedLine(const char* text, bool dataText, const char*& result);
    // Calls the function below the `count` values on top of the stack as a person's text
    // runs (no budget, a person's origin), and pops them. False (logged) when it failed.
    bool CallAsPerson(int count, const char* what);
    // Reads a script file through the file server and runs it at `mode`.
    bool RunFile(const char* fileName, Trust mode, const char*& result);
    // Text run from inside a line runs as a line.
    Trust TextTrust() const { return trust_ == Trust::Line ? Trust::Line : Trust::Full; }
    // While a data file runs nothing else may: the first such try is kept and refuses it.
    bool RefuseInData(const std::string& what);
    // Releases the living objects that the run numbered `run` made (one log line).
    void DropMade(uint32_t run);
    void SetHook(bool budgeted);
    static void Hook(lua_State* L, lua_Debug* ar);
    static nLuaServer2* Of(lua_State* L);
    static int OverBounds(lua_State* L, const char* why);
    static void OnStopSignal(int sig);
    static void StartWatch();
    static void StopWatch();
    // Levels of `obj` below the data root; -1 when it is not inside it, or deeper than
    // MaxDataDepth (so every walk here stays short).
    int DataDepth(const nRoot* obj) const;
    bool InsideDataRoot(const nRoot* obj) const { return DataDepth(obj) >= 0; }
    void PushDataEnv();
    void PushLineEnv();
    static int DeclareEntryGlobal(lua_State* L);
    static int EntryCall(lua_State* L);
    static nLuaServer2* UpServer(lua_State* L);
    static int DataNew(lua_State* L);
    static int DataSel(lua_State* L);
    static int DataUp(lua_State* L);
    static int DataIndex(lua_State* L);
    static int DataCall(lua_State* L);
    static int DataNewIndex(lua_State* L);
    static int LineIndex(lua_State* L);
    static int LineNewIndex(lua_State* L);
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
    std::string pendingLines;  // text a line queued: it runs as a line

    // Data's share of the frame.
    struct Waiting {
        std::string text;
        nRef<nRoot> cwd;  // the current object it was to run with
        bool dataText;  // RunDataText's, not RunLine's
    };
    // Runs the lines that wait, oldest first, while the frame's share lasts.
    void RunWaiting();
    nDataText data_;  // what data's text reads, and its frame's share
    bool passedFrame_ = false;
    std::vector<Waiting> waiting_;
    size_t waitingBytes_ = 0;
    bool waitingFullLogged_ = false;

    Trust trust_ = Trust::Full;
    nLuaRunBounds bounds_;  // of the budgeted run going on
    nRef<nRoot> dataRoot_;
    std::string refusal_;
    // While RunCatching runs: where the first failure of a run nested in its text goes.
    std::string* nestedError_ = nullptr;
    int lineEnvRef_ = LUA_NOREF;
    struct DataEntry {
        std::string name;
        int valuesRef;  // the declared values, a table in the registry
        uint32_t ranInFrame;  // DataFrame() + 1 of its last run, 0 before
        bool answersInput;  // runs only right after the person's key or click
    };
    std::vector<DataEntry> entries_;
    // Instructions between two budget checks; fewer once a budgeted run was given blocks
    // so long that one instruction may take long over them (a comparison, a copy).
    static constexpr int HookStep = 1000;
    static constexpr uint64_t BytesBetweenLooks = uint64_t(16) << 20;
    int StepNow() const;
    size_t biggest_ = 0;  // the biggest block the budgeted run going on was given
    int armed_ = HookStep;  // the hook's count as last set
    static volatile std::sig_atomic_t stopRequested_;
    static lua_State* volatile stopState_;
    // The variable at `path`, found or made; true when this server made it.
    static bool MakeVariable(const char* path, nRef<nRoot>& ref);

    nRef<nRoot> refKbyteCount;
    nRef<nRoot> refGcThreshold;
    bool ownsKbyteCount = false;
    bool ownsGcThreshold = false;
};
