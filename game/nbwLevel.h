#pragma once
// One playable level (script class "nbwlevel"): builds its persistent objects from the
// prototypes along its store tree, keeps the divers the player switches between, lets
// divers leave (their stores wait under "/usr/persist") and come back at a free start
// point, drives the follow camera's zoom, keeps the person's timers in its store (never
// data's) and declares what a save of it may hold.
#include <string>
#include <vector>

#include "game/nbwSaveDeclaration.h"
#include "kernel/nPathRef.h"
#include "kernel/nRef.h"
#include "kernel/nString.h"
#include "logic/nLogicLevel.h"

class nbwActor;
class nbwCamera;
class nbwFish;
class nEnvelope;
class nEnvelopeServer;
class nLogicEventHandler;
class nModAnimatorState;
class nPersist;

class nbwLevel : public nLogicLevel {
public:
    static const nClassInfo classInfo;

    nbwLevel();
    ~nbwLevel() override;
    bool SaveCmds(nPersistServer* ps) override;
    void StoreToPersist(nPersistLogic* store) override;
    void RestoreFromPersist(nPersistLogic* store) override;
    // Switches to a pending diver, follows the active diver's zoom, then the level's own.
    bool Trigger(nLogicGraph* graph) override;
    // "onshutdown", the divers' stores to "/usr/persist", everything stored, then the
    // level's own unload.
    void UnloadLevel() override;

    // Builds what the level's store tree names and the level lacks; a missing store,
    // prototype or "/usr/prototypes" is logged and that part skipped.
    void UpdateLevel();
    void BuildFromPersist(nRoot* store);
    // Whether the last UpdateLevel found its store and built every store it names (what
    // data's bounds refuse aside): a start that skipped one is no start.
    bool GetBuildOk() const { return buildOk_; }
    // Whether every store below `store` names a prototype the build finds; false with why.
    bool CanBuild(nRoot* store, std::string& why);
    // Whether every module and template that the level's nodes use is still found by the
    // path it was named by: one the tools renamed or moved serves the running level, but a
    // start of the level would draw or do without it. False with why.
    bool ReachesByPath(std::string& why);

    void SetCamera(const char* path);
    // Null (logged once per path) when the path names nothing or no "nbwcamera".
    nbwCamera* GetCamera();
    std::string GetCameraPath();

    // The next or previous diver in the list that the player can steer.
    void NextDiver();
    void PrevDiver();
    // Becomes the active diver at the next Trigger, when it is steerable (else that
    // Trigger logs and drops it); null cancels a pending switch.
    void ActivateDiver(nbwActor* actor);
    void ActivateDiverByPath(const char* path);
    nbwActor* GetPendingDiver() const { return pending_.GetUnsafe(); }
    // No switch runs.
    void SetActiveDiver(const char* path);
    // Null when the reference does not resolve to an "nbwactor".
    nbwActor* GetActiveDiver();
    // True for what the player can steer: an "nbwdiver" with its "nlogicinput" "input".
    static bool IsSteerable(nRoot* actor);
    std::string GetActiveDiverPath();

    // The last child that is an "nbwstartpoint" with its empty status set; null when none.
    nRoot* GetFreeStart();
    std::string GetFreeStartPath();
    void InsertDiver(const char* name);
    void RemoveDiver(const char* name);
    void RemoveAllDivers();
    // Entries whose actor is gone or no "nbwactor" are dropped first.
    int GetDiverCount();
    // Null for an index outside the list.
    nbwActor* GetDiver(int index);
    std::string GetDiverPath(int index);

    // What a level builds from stores that data brought (a loaded save): a prototype at most
    // `count` times in the level's store tree, counting what stands already, and none that
    // the level does not bound; the value `name` of such a store within [lo, hi] (each
    // component of a vector), brought into it before the build. A store with a value that is
    // not finite is not built. The level's own map declares both; data's text may not.
    void SetBuildBound(const char* prototype, int count);
    void SetBuildRange(const char* name, float lo, float hi);
    int GetBuildBound(const char* prototype) const;
    // The level's declaration of what a save holds (game/nbwSaveDeclaration.h), from its map
    // only: a bad declaration is logged and changes nothing.
    void SaveStore(const char* prototype, const char* places, const char* names);
    void SaveNumber(const char* prototype, const char* name, const char* type, float lo, float hi);
    void SaveText(const char* prototype, const char* name, const char* texts);
    void SaveFixed(const char* prototype, const char* names);
    void SaveBox(const char* prototype, const char* name, float x0, float y0, float z0, float x1, float y1, float z1);
    void SaveCount(const char* prototype, int lo, int hi);
    void SaveRequired(const char* prototype, const char* names);
    void SaveKeptFor(const char* prototype, const char* waiting, const char* done);
    void SaveUncovered(const char* prototype, const char* names, const char* cover, const char* value);
    // The vector `name` of the prototype's stores lies in the water that the level's solids
    // close in (the "static" collision modules of its children as the map has made them so
    // far), with room for a body of `radius` clear of them and of the static modules of the
    // prototypes whose place is declared a single point, standing there unturned.
    void SaveWater(const char* prototype, const char* name, float radius);
    // Whether the save read into `root` holds only what the declaration takes (its fixed
    // values dropped), read as `reading` says; false with why. A level whose map never ran
    // runs it once for the declaration and unloads again.
    bool CheckSave(nRoot* root, std::string& why,
                   nbwSaveDeclaration::Reading reading = nbwSaveDeclaration::Reading::Strict);

    void SetZoomAnim(const char* a, const char* b);
    const char* GetZoomAnim(int i) const { return zoomAnim_[i & 1].Get(); }
    void SetCamPos(float x, float y, float z);
    void SetCamRot(float x, float y, float z);

    // The envelope of that name with one reference for the caller; one that does not
    // exist yet is made and loaded when the name is a ".nea" key file. Null (logged) for
    // another name that names no envelope or a key file that does not load.
    nEnvelope* FindZoomEnvelope(const char* name);

    nModAnimatorState* GetZoomState() const { return zoomState_; }
    nLogicEventHandler* GetHandler(int i) const { return handlers_[i]; }
    enum Event { OnStartup = 0, OnShutdown, OnAddDiver, OnBeforeRemoveDiver, NumEvents };

private:
    // The entry's actor, null (and the entry dropped by Prune) when gone or no actor.
    nbwActor* Entry(int index);
    // Drops the entries that no longer resolve to an "nbwactor", logged.
    void Prune();
    int IndexOfActive();
    // Makes the first steerable entry `step` (1 or -1) places on from the active one pending.
    void StepDiver(int step);
    void AddDiverEntry(nbwActor* actor);
    void Switch();
    void FollowZoom(nbwActor* diver);
    void Built(nRoot* clone, nRoot* store);
    // Sets the event's text variable "diver".
    void SetDiverVar(nLogicEventHandler* h, const char* name);
    nRoot* PersistRoot(const char* op);
    // BuildFromPersist from the level with the level current.
    void Build(nRoot* store);
    // The fish the map put in the level or in a node of it, and the key of a fish's place
    // in the level's store ("fish_<node>_<name>", or "fish_<name>" in the level).
    std::vector<nbwFish*> Fish();
    void FishKey(nbwFish* fish, std::string& key);
    // Each fish at its place in the store, within its box; a store without it leaves it.
    void RestoreFish(nPersistLogic* store);
    // The clone of the store's prototype under the current object; null (logged) when
    // the store names none or it does not clone.
    nRoot* CloneFor(nRoot* store);
    // Logs the first store of a build that data's bounds leave unbuilt.
    void RefuseBuild(nRoot* store);
    // Counts the prototypes of the stores below `store` whose objects stand below `node`.
    void CountBuilt(nRoot* store, nRoot* node);
    // The prototype that the store's text names, null when none (not logged).
    nRoot* PrototypeOf(nRoot* store);
    // True when a store that data brought may have `proto` built once more in this build
    // (counted then), its values brought into the level's ranges; false (logged once a
    // build) when not.
    bool MayBuildFromData(nRoot* store, nRoot* proto);

    struct BuildBound {
        std::string prototype;
        int count;
    };
    struct BuildRange {
        std::string name;
        float lo, hi;
    };
    // Runs one declaration of the map's (the person's only); a refused one is logged.
    template <class Declare>
    void Declares(const char* command, Declare declare);
    nbwSaveDeclaration saveDecl_;
    std::vector<BuildBound> buildBounds_;
    std::vector<BuildRange> buildRanges_;
    // Stores of this build's walk per prototype, and whether the walk logged a refusal.
    std::vector<std::pair<const nRoot*, int>> built_;
    bool boundLogged_ = false;
    bool valueLogged_ = false;

    nRef<nbwActor> pending_;
    nPathRef<nRoot> active_;
    nPathRef<nRoot> camera_;
    std::vector<nPathRef<nRoot>> divers_;
    nModAnimatorState* zoomState_ = nullptr;
    nLogicEventHandler* handlers_[NumEvents] = {};
    nString zoomAnim_[2];
    nPathRef<nRoot> prototypes_{"/usr/prototypes"};
    // The last prototype looked up in this build, by its text.
    nRef<nRoot> lastProto_;
    std::string lastProtoText_;
    int notBuilt_ = 0;  // stores of this build refused by data's bounds
    bool buildOk_ = false;
    // The stores (by their path below the level's store) whose objects the map had made
    // when the start's build came to them: those are not cloned.
    std::vector<std::string> mapMade_;
    std::string buildRoot_;
    bool recordMade_ = false;
    nClass* actorClass_ = nullptr;
    nClass* itemClass_ = nullptr;
    nClass* persistClass_ = nullptr;
    nPathRef<nRoot> persistRoot_{"/usr/persist"};
    nPathRef<nEnvelopeServer> envelopeServer_{"/sys/servers/envelope"};
    // The camera path logged as unusable, so a frame loop logs it once.
    bool cameraLogged_ = false;
    std::string cameraLoggedPath_;
    // The actor class and its value indices, looked up once per class.
    struct Indices {
        const nClass* cls = nullptr;
        int transparency = -1, fadetime = -1, zoomstate = -1, zoomscale = -1, heading = -1, pitch = -1;
        int singleplayer = -1;
    };
    const Indices& IndicesOf(nbwActor* actor);
    Indices indices_;
};
