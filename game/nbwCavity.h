#pragma once
// A hollow in the level that holds land characters (script class "nbwcavity"): a
// character touching its "stickzone" is frozen there until a rescue item is used on the
// cavity (or a script asks for a rescue); the held character is then put at the first
// free rescue zone, a start point registered with the cavity, and released.
#include <string>
#include <vector>

#include "game/nbwItem.h"
#include "kernel/nRef.h"

class nbwCharacter;
class nbwStartPoint;
class nModCollisionState;
class nScriptEvent;

class nbwCavity : public nbwItem {
public:
    static const nClassInfo classInfo;

    nbwCavity();
    ~nbwCavity() override;
    // The item's lines, then one "v_addrescuezone_s" per zone in order.
    bool SaveCmds(nPersistServer* ps) override;
    // Moves and releases the character a rescue assigned in the last collision pass.
    bool Trigger(nLogicGraph* graph) override;
    void UpdateModules(const matrix44& world) override;
    // Holds the character in the stick zone and assigns it a free zone when a rescue is
    // requested; a request is used up by every pass, found someone or not.
    void AnalyseCollision() override;
    // A rescue item is consumed from its holder and requests a rescue (false); any other
    // item is left to the item's own use (true).
    bool Use(nRoot* tool) override;

    // A path already listed exactly is not added again.
    void AddRescueZone(const char* path);
    // The first zone listed under exactly that path, null when there is none or it names
    // no start point.
    nbwStartPoint* FindRescueZone(const char* path);
    void RequestRescue() { rescueRequested_ = true; }

    int GetNumZones() const { return int(zones_.size()); }
    const char* GetZonePath(int i) const { return zones_[size_t(i)].path.c_str(); }
    bool IsRescueRequested() const { return rescueRequested_; }
    nbwCharacter* GetRescued() { return rescued_.GetUnsafe(); }
    int GetRescueZoneIndex() const { return zoneIndex_; }
    const vector3& GetCavityPosition() const { return position_; }
    nModCollisionState* GetStickZone() const { return stickZone_; }

private:
    struct Zone {
        std::string path;
        nRef<nRoot> ref;
    };
    // The zone's start point, looked up with the cavity current when not known yet; null
    // (logged once per zone) when the path names no start point.
    nbwStartPoint* ZoneAt(int i);
    // The first character touching the stick zone this frame, null when none does.
    nbwCharacter* HeldCharacter();

    std::vector<Zone> zones_;
    std::vector<bool> zoneLogged_;
    nModCollisionState* stickZone_ = nullptr;
    vector3 position_;
    nRef<nbwCharacter> rescued_;
    int zoneIndex_ = -1;
    bool rescueRequested_ = false;
    nScriptEvent* enterEvent_ = nullptr;
    nScriptEvent* rescueEvent_ = nullptr;
};
