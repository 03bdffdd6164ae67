#pragma once
// Everything a diver can carry, use, document or damage (script class "nbwitem"): a
// physics logic node with a fixed table of named, typed variables (hit points, energy,
// weight, owner, ...) that game code reads by index and scripts by name, that saves
// itself and its persistent store, and that shows the item's condition to its visual.
// Containers, tools, doors, switches and boats derive from it and append entries.
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/matrix44.h"
#include "kernel/vector3.h"
#include "logic/nLogicItem.h"
#include "scene/nVariableServer.h"

class nModCollisionState;
class nModVisualizerState;

class nbwItem : public nLogicItem {
public:
    static const nClassInfo classInfo;

    // The fixed indices of the table; subclasses append after NumVars.
    enum Var {
        Skill = 0,
        DocValue,
        Alteration,
        MaxEnergie,
        Energie,
        EnergieLose,
        MaxHitpoints,
        Hitpoints,
        CollDamage,
        AnimLength,
        AnimName,
        CanDrop,
        UseTime,
        UseItem,
        Type,
        DamageType,
        Owner,
        Treasure,
        Damage,
        Weight,
        Volume,
        Armor,
        User,
        Group,
        AlwaysVisible,
        NumVars
    };

    nbwItem();
    ~nbwItem() override;
    bool SaveCmds(nPersistServer* ps) override;

    // Writes "active", "visible", "collision", "txyz", "qxyzw", one int per module state
    // and every table entry under its name. No store: logged, nothing written.
    void StoreToPersist(nPersistLogic* store) override;
    // Reads back whichever of those the store holds; a stored number of the other number
    // type is converted, a text for a number entry (or the reverse) is skipped (logged).
    void RestoreFromPersist(nPersistLogic* store) override;

    // Declares "useitem", "hitpoints" and "soundtrigger" in the default visualizer state
    // and "time" in the "ultrasonic" state.
    void UpdateVariables() override;
    // "useitem" = entry 13, "hitpoints" = hitpoints / maxhitpoints (0 when the maximum is
    // 0 or less), "soundtrigger" 1 for the one pass after PlaySound; while "ultrasonic"
    // is on its "time" counts up to the ultrasonic time, then the state switches off.
    void SetNodeVariables() override;
    // The default state, then "ultrasonic" while it is on.
    void Visualize(nSceneGraph2* sceneGraph, const matrix44& world) override;

    // Using this item with `tool` (an object of the owner's, null when the script's path
    // named nothing). False without an owning actor. Otherwise the tool is worn first;
    // then a bound "onuse" is queued (false); a tool named "hand" packs this item into the
    // owner's "inventory" (false; a refusal is logged and changes nothing); an air bag
    // ("type" "luftsack") lifts this item away: deactivated, deleted next frame, its
    // store moved under "/usr/persist/camp", the air bag used up (false). Any other tool:
    // true.
    bool Use(nRoot* tool) override;
    // One use's wear: a condition below a random draw in [0, 1) decays with it and the
    // frame time (kept in [0, 1]), else it falls by maxhitpoints x alteration; the
    // energy falls by "energielose". Never announces "ondeath".
    virtual void Wear();
    // The physics node's step, then the use progress: while "usetime", "energie" and
    // "hitpoints" are above 0, "useitem" climbs with the frame time (to at most 1) and
    // "usetime" counts down; otherwise "useitem" falls back to 0.
    bool Trigger(nLogicGraph* graph) override;
    // The physics node's states at `world`, and the motion since the last frame.
    void UpdateModules(const matrix44& world) override;
    // Contact damage (the last frame's motion x "colldamage", through SetFloat), the
    // physics node's contacts, then the damage zone draining the divers it touches.
    void AnalyseCollision() override;
    // Lights the item for its ultrasonic time from now.
    void StartUltrasonic();
    // Where the node was last frame minus where it is.
    const vector3& GetVelocity() const { return velocity_; }

    // Variable access by index. An index outside the table is logged and ignored (the
    // getters give 0, 0.0 or ""). An entry keeps its type: an int into a float entry or a
    // float into an int entry is converted (float to int truncates), a text into a
    // number entry or a number into a text entry is logged and refused.
    virtual void SetString(int index, const char* text);
    virtual void SetInt(int index, int32_t value);
    // Hitpoints dropping from above 0 to 0 or below raise "ondeath" when it is bound.
    // Hitpoints and energy stop at 0: a hit or a drain past empty leaves them empty.
    virtual void SetFloat(int index, float value);
    virtual float GetFloat(int index);
    virtual int32_t GetInt(int index);
    // Never null.
    virtual const char* GetString(int index);
    // The index of exactly that name (case matters), -1 when there is none.
    virtual int FindVar(const char* name) const;
    // Null for an index outside the table.
    virtual const char* GetVarName(int index) const;

    int GetNumVars() const { return int(vars_.size()); }
    // Void for an index outside the table.
    nVariable::Type GetVarType(int index) const;

    // The script commands by name; an unknown name logs "Error : No variable '%s' exsist
    // in nbwitem ..." and does nothing (0, 0.0 or "").
    void SetIntByName(const char* name, int32_t value);
    int32_t GetIntByName(const char* name);
    void SetFloatByName(const char* name, float value);
    float GetFloatByName(const char* name);
    void SetStringByName(const char* name, const char* text);
    const char* GetStringByName(const char* name);
    // One line per entry in index order: "name [int] = 1", "name [float] = 1.",
    // "name [string] = text", each ended by a line feed.
    std::string GetVars();
    // Stores the seconds straight into entry 12 ("usetime").
    void UseFor(float seconds);
    void PlaySound() { playSound_ = true; }
    void SetUltrasonicTime(float seconds) { ultrasonicTime_ = seconds; }
    float GetUltrasonicTime() const { return ultrasonicTime_; }

    // The listing's number forms: ints in decimal; floats rounded to 6 significant
    // digits, fixed for 0 and 0.1 <= |v| < 1000000, else one digit, point, five digits,
    // "e", sign and three exponent digits; trailing zeros after the point dropped, the
    // point kept ("1.", "0.25", "123456", "5.e-002").
    static void AppendFloat(std::string& out, float value);
    static void AppendInt(std::string& out, int32_t value);
    // Float to int as the table converts: truncated toward zero, clamped to the int
    // range, NaN gives 0.
    static int32_t ToInt(float value);

    nModCollisionState* GetDamageState() const { return damageState_; }
    nModCollisionState* GetItemState() const { return itemState_; }
    nModVisualizerState* GetUltrasonicState() const { return ultrasonicState_; }
    nLogicEventHandler* GetDeathHandler() const { return deathHandler_; }
    nLogicEventHandler* GetPackInHandler() const { return packInHandler_; }
    float GetUltrasonicElapsed() const { return ultrasonicElapsed_; }

protected:
    // Puts an entry at `index`, growing the table to hold it. `name` must outlive the
    // item (a literal). Subclasses call these in their constructors.
    void DefineVar(int index, const char* name, int32_t value);
    void DefineVar(int index, const char* name, float value);
    void DefineVar(int index, const char* name, const char* text);
    // The entry at `index`; null (logged with `op`) outside the table.
    nVariable* Entry(int index, const char* op);
    // The index of a script's name; -1 (logged with `op`) when the table lacks it.
    int ScriptIndex(const char* name, const char* op) const;

    // For the contact damage: where the node was last frame, and how it moved since.
    vector3 velocity_;
    bool prevMatrixValid_ = false;
    matrix44 prevMatrix_;

private:
    // The air bag's part of Use: this item is lifted out of the level for good.
    void LiftAway(nbwItem* airBag);

    struct Slot {
        const char* name = nullptr;
        nVariable value;
    };
    Slot& DefineSlot(int index, const char* name);
    // Logs that the entry refuses a value of another kind.
    void Refuse(int index, const char* what) const;

    std::vector<Slot> vars_;
    int useItemVar_ = -1;
    int hitpointsVar_ = -1;
    int timeVar_ = -1;
    int soundTriggerVar_ = -1;
    bool playSound_ = false;
    float ultrasonicElapsed_ = 0.0f;
    float ultrasonicTime_ = 1.0f;
    nModCollisionState* damageState_ = nullptr;
    nModCollisionState* itemState_ = nullptr;
    nModVisualizerState* ultrasonicState_ = nullptr;
    nLogicEventHandler* packInHandler_ = nullptr;
    nLogicEventHandler* deathHandler_ = nullptr;
};
