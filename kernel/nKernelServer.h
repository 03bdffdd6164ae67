#pragma once
#include <cstdarg>
#include <cstddef>
#include <memory>
#include <vector>

#include "kernel/nClass.h"
#include "kernel/nHashList.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nRef.h"
#include "kernel/nStack.h"

class nRoot;
class nLogHandler;
class nDefaultLogHandler;
class nFileServer2;
class nPersistServer;
class nTimeServer;
class nRemoteServer;

// The one kernel: class registry, object tree with its current object, log handler and
// the servers it creates itself. `ks` names it while it exists.
class nKernelServer {
public:
    static nKernelServer* ks;

    // `package` registers the classes ("nroot" is registered in any case).
    explicit nKernelServer(void (*package)(nKernelServer*) = nKernelPackage);
    // Releases the servers and the tree, then frees the classes leaves first.
    ~nKernelServer();
    nKernelServer(const nKernelServer&) = delete;
    nKernelServer& operator=(const nKernelServer&) = delete;

    // ---- classes
    // Registers a class; a name registered already keeps its first registration.
    nClass* AddClass(const nClassInfo& info);
    nClass* FindClass(const char* name) const;
    // FindClass plus one reference that keeps the class registered; CloseClass gives it back.
    nClass* OpenClass(const char* name);
    void CloseClass(nClass* cls);
    // Makes `superName` the superclass of `cls`; a missing superclass is fatal.
    nClass* OpenSuperClass(nClass* cls, const char* superName);
    nClass* GetFirstClass() const { return static_cast<nClass*>(classList_.GetHead()); }

    // ---- objects
    // The object at `path`, made of `className` when missing (missing intermediate
    // objects become "nroot"); an existing object is returned unchanged. Fatal when the
    // name is empty or the class is missing.
    nRoot* New(const char* className, const char* path);
    // As New, null instead of fatal.
    // The deepest object on `path` (from `from` when relative) before its last part: where
    // New would put the object the path names.
    nRoot* DeepestOnPath(nRoot* from, const char* path) const;
    nRoot* NewNoFail(const char* className, const char* path);
    // An object outside the tree; null when the class is missing.
    nRoot* NewUnnamed(const char* className);
    // The object at `path` (absolute, or relative to the current object, with "." and
    // ".."); null when there is none or the path is malformed.
    nRoot* Lookup(const char* path) const;
    // As Lookup, with relative paths starting at `from` rather than the current object,
    // which stays as it is.
    nRoot* LookupFrom(const nRoot* from, const char* path) const;
    // While fenced, lookups find only objects at or below `a`, `b` or `c` (the objects a
    // data file loads, the game's templates and the servers: names a data file's commands
    // pass resolve no further). Nulls for all lift the fence.
    void SetLookupFence(const nRoot* a, const nRoot* b = nullptr, const nRoot* c = nullptr) {
        fence_[0] = a;
        fence_[1] = b;
        fence_[2] = c;
        fenced_ = a || b || c;
    }
    // Sets the lookup fence for its lifetime and then puts back the fence it found, so
    // a fence set inside a fenced call does not lift the caller's.
    class ScopedLookupFence {
    public:
        ScopedLookupFence(nKernelServer* ks, const nRoot* a, const nRoot* b = nullptr, const nRoot* c = nullptr)
            : ks_(ks), before_{ks->fence_[0], ks->fence_[1], ks->fence_[2]} {
            ks->SetLookupFence(a, b, c);
        }
        ~ScopedLookupFence() { ks_->SetLookupFence(before_[0], before_[1], before_[2]); }
        ScopedLookupFence(const ScopedLookupFence&) = delete;
        ScopedLookupFence& operator=(const ScopedLookupFence&) = delete;

    private:
        nKernelServer* ks_;
        const nRoot* before_[3];
    };
    nRoot* GetRoot() const { return root_; }

    nRoot* GetCwd() const { return cwd_; }
    // Makes `obj` current; null makes the root current.
    void SetCwd(nRoot* obj);
    // Saves the current object on the stack and makes `obj` current.
    void PushCwd(nRoot* obj);
    // Makes the saved object current (the root when the stack is empty or the saved
    // object has died) and returns the object that was current before.
    nRoot* PopCwd();

    // Releases the file server and makes a new one of `className`.
    void ReplaceFileServer(const char* className);

    // The servers made at construction; null when their class was not registered or the
    // server has died. The forms with a type argument give the server as that type (a
    // subclass, or nRoot); their callers include that type's header.
    nFileServer2* GetFileServer() const;
    nPersistServer* GetPersistServer() const;
    nTimeServer* GetTimeServer() const;
    nRemoteServer* GetRemoteServer() const;
    template <class T>
    T* GetFileServer() const { return static_cast<T*>(fileServer_.GetUnsafe()); }
    template <class T>
    T* GetPersistServer() const { return static_cast<T*>(persistServer_.GetUnsafe()); }
    template <class T>
    T* GetTimeServer() const { return static_cast<T*>(timeServer_.GetUnsafe()); }
    template <class T>
    T* GetRemoteServer() const { return static_cast<T*>(remoteServer_.GetUnsafe()); }

    // Loads an object file through the persistence server; null (logged) without one.
    nRoot* Load(const char* fileName);

    // ---- log
    void Print(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void Message(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    void Error(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    // Installs `handler` (not owned); null reinstalls the kernel's default handler.
    void SetLogHandler(nLogHandler* handler);
    nLogHandler* GetLogHandler() const { return logHandler_; }
    nLogHandler* GetDefaultLogHandler() const;

    // Reports through the current handler (stderr without a kernel) and ends the
    // process with exit code 3, or with 128 + the signal once a stop signal came.
    [[noreturn]] static void FatalError(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

    // ---- memory and helpers
    static void* Malloc(size_t size);
    static void* Calloc(size_t count, size_t size);
    static void Free(void* p);
    // A heap copy of `text` (null for null or when out of memory); give back with Free.
    static char* StrDup(const char* text);
    // Copies at most size - 1 characters and always terminates dst[size - 1].
    static char* StrCopy(char* dst, const char* src, size_t size);
    // Appends `src` to the text in `dst` of `size` bytes, cut to fit, terminated.
    static char* StrCat(char* dst, const char* src, size_t size);
    // Sleeps, truncated to whole milliseconds.
    static void Sleep(float seconds);
    // Wildcard match of the whole text: '*', '?', "[a-z]" sets (ranges in either
    // order), '\' makes the next character literal.
    static bool MatchPattern(const char* text, const char* pattern);

private:
    friend class nRoot;
    // Called by every dying object: the current object, and the root itself, must never
    // be left pointing at a dead object.
    void ObjectDying(nRoot* obj);
    nRoot* NewObject(const char* className, const char* path, bool dieOnError);
    void ReleaseServer(nRef<nRoot>& server);
    bool InsideFence(const nRoot* obj) const;

    nHashList classList_;
    nRoot* root_ = nullptr;
    nRoot* cwd_ = nullptr;
    // Saved objects of PushCwd; entries above the depth are kept for reuse, so pushing and
    // popping in a frame allocates nothing once the stack was that deep.
    std::vector<std::unique_ptr<nRef<nRoot>>> cwdStack_;
    size_t cwdDepth_ = 0;
    nDefaultLogHandler* defaultLogHandler_ = nullptr;
    nLogHandler* logHandler_ = nullptr;
    nRef<nRoot> fileServer_;
    nRef<nRoot> persistServer_;
    nRef<nRoot> timeServer_;
    nRef<nRoot> remoteServer_;
    const nRoot* fence_[3] = {nullptr, nullptr, nullptr};
    bool fenced_ = false;
};

// Log through the kernel when one exists, else to standard error.
void n_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void n_message(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void n_error(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
