#pragma once
// The common base of the game's acting characters, divers and land characters (script
// class "nbwactor"): stats, flags, paths and moves that game code reaches by index and
// scripts by name, a queue of scripted actions under the child "actions" whose first
// child is the current action, and the persistent store that brings an actor back with
// its values and its current action. The subclasses supply the name tables and what
// their values do; here the tables are empty and the value operations do nothing.
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/nRef.h"
#include "logic/nLogicCharacter.h"

class nScriptEvent;

class nbwActor : public nLogicCharacter {
public:
    static const nClassInfo classInfo;

    // The queue entry that counts as no action when the actor is stored.
    static constexpr const char* IdleAction = "idle action";
    // The "action" a store holds for no action: nothing to rebuild.
    static constexpr const char* NoActionText = "print(\xA7no action while loading\xA7)";

    nbwActor();
    ~nbwActor() override;
    // Makes the child "actions" (an "nroot").
    void Initialize() override;

    // The character's lines, then one line per stat, flag and path name in table order.
    bool SaveCmds(nPersistServer* ps) override;
    // Position and rotation (only where the store has them already), every stat, path
    // and flag under its name, the current action's name, animation, play direction,
    // duration, runtime and fades ("actionname" and on; none without an action) and
    // "action", the no-action text. No store: logged, nothing written.
    void StoreToPersist(nPersistLogic* store) override;
    // Reads back what StoreToPersist wrote and queues the action its values name. An
    // "action" text of the person's own (an older store) runs with "actions" current; one
    // that fails to run is logged and leaves no half-made action behind. Data's is never
    // run (logged).
    void RestoreFromPersist(nPersistLogic* store) override;

    // The value operations by index; here they do nothing (0, false, null).
    virtual void PlayMove(int move, const char* text, float power);
    virtual void SetStat(int index, float value);
    virtual float GetStat(int index);
    virtual void SetFlag(int index, bool on);
    virtual bool GetFlag(int index);
    // "none" or "" empties the path.
    virtual void SetPath(int index, const char* path);
    // The object the path names, null when the path is empty or names nothing.
    virtual nRoot* GetPath(int index);
    // Null-terminated name tables; null here, which counts as empty.
    virtual const char* const* GetMoveNames() const { return nullptr; }
    virtual const char* const* GetStatNames() const { return nullptr; }
    virtual const char* const* GetPathNames() const { return nullptr; }
    virtual const char* const* GetFlagNames() const { return nullptr; }
    // Announces "onabortaction" (when bound) with the current action's path, fades that
    // action out over 0.2 s, releases the waiting ones, empties "target" and sets the hand
    // item's "usetime" to 0. An "nbwelevator" ignores it.
    virtual void Abort();
    // The item nearest to the actor; null here.
    virtual nRoot* GetNearItem();
    // Uses the object (null when the script's path named nothing); here only logged.
    virtual void Use(nRoot* obj);

    // The position of exactly `name` in the table, -1 when the table is null or lacks it.
    static int NameIndex(const char* const* table, const char* name);

    // The queue node, null once a script deleted it (logged once).
    nRoot* GetActions();
    // The first queued object, null when the queue is empty or gone.
    nRoot* GetCurrentAction();
    nScriptEvent* GetAbortEvent() const { return abortEvent_; }

    // The script commands by name: an unknown name is logged and changes nothing.
    void SetPathByName(const char* name, const char* path);
    void SetFlagByName(const char* name, bool on);
    void SetStatByName(const char* name, float value);
    void PlayMoveByName(const char* move, const char* text, float power);
    // The index of a script's name in `table`, -1 (logged with `cmd`) when it lacks it.
    int ScriptIndex(const char* const* table, const char* name, const char* cmd) const;
    // The path looked up with the actor current.
    void UseByPath(const char* path);

    // Makes the action that the store's action values name, when they name one.
    void RestoreAction(nPersistLogic* store);
    // The reversible stored form of a script text and back: line feeds become ";", "'"
    // the byte 0xA7 and '"' "$"; a "$" or 0xA7 already there is written as the Lua
    // escape "\036" or "\167", which can only stand inside a quoted string.
    static std::string EncodeActionText(const std::string& text);
    static std::string DecodeActionText(const std::string& text);

protected:
    // What the subclasses' value operations keep: values by index, grown on demand; an
    // index below 0 is logged and ignored, one never set reads 0, false or "".
    void StoreStat(int index, float value);
    float StoredStat(int index) const;
    void StoreFlag(int index, bool on);
    bool StoredFlag(int index) const;
    // "none" stores the empty text.
    void StorePath(int index, const char* path);
    const char* StoredPath(int index) const;
    // The object under the stored path, looked up with the actor current; null when the
    // path is empty or names nothing.
    nRoot* LookupStoredPath(int index);

private:
    std::vector<float> stats_;
    std::vector<uint8_t> flags_;
    std::vector<std::string> paths_;
    nRef<nRoot> actions_;
    bool actionsMade_ = false;
    bool warnedNoActions_ = false;
    nScriptEvent* abortEvent_ = nullptr;
};
