#pragma once
// A floating item driven by its rigid body (script class "nbwboat"): scripts push it
// with named moves, it rights itself about its long axis every frame, and it carries two
// small named tables of numbers (stats and values) for the scripts. Everything else
// (item variables, use, persistence in save games) is the item's; the two tables are
// not persistent, the level's object scripts set them.
#include "game/nbwItem.h"

class nPhysikBody;

class nbwBoat : public nbwItem {
public:
    static const nClassInfo classInfo;

    enum Stat { Energie = 0, EnergieLose, MaxLoad, Speed, ZoomState, ZoomScale, NumStats };
    enum Value { MovementAccel = 0, RotationAccel, DraftAccel, NumValues };
    enum Move { Forward = 0, Backward, Left, Right, NumMoves };
    // How hard the stabiliser pulls the boat's x axis back to the horizontal.
    static constexpr float StabiliserGain = 10.0f;

    nbwBoat();
    ~nbwBoat() override;
    // The physics node's lines (not the item's: no item variables), then every value
    // and every stat in table order.
    bool SaveCmds(nPersistServer* ps) override;
    // Keeps the body awake (the physics flag is set whatever the frame time), rights the
    // boat in frames that advance time, then the item's step.
    bool Trigger(nLogicGraph* graph) override;

    // By name (exact case); an unknown name is logged and changes nothing, its getter
    // answers 0.0.
    void SetValue(const char* name, float value);
    float GetValue(const char* name);
    void SetStat(const char* name, float value);
    float GetStat(const char* name);
    // The script's move: the float is accepted and not used. An unknown move is logged
    // and does nothing.
    void PlayMoveByName(const char* name, float unused);
    // Pushes the body at one unit ahead of its centre, in the body's own frame, by
    // "movement_accel": forward (0, 0, -a), backward (0, 0, a), left (-a/2, 0, 0), right
    // (a/2, 0, 0).
    void PlayMove(int move);

    float GetStatAt(int i) const { return i >= 0 && i < NumStats ? stats_[i] : 0.0f; }
    float GetValueAt(int i) const { return i >= 0 && i < NumValues ? values_[i] : 0.0f; }
    static const char* StatName(int i);
    static const char* ValueName(int i);
    static const char* MoveName(int i);

    // The stabiliser's force for a boat of matrix `m` (rows: its axes), applied times the
    // gain at (1, 0, 0) and opposite at (-1, 0, 0): the horizontal at right angles to the
    // z axis minus the x axis. Zero for a boat lying level.
    static vector3 StabiliserForce(const matrix44& m);
    // The body that the frame's physics step moves; null when there is none (no physics
    // module, the state switched off), logged once per boat: a force given to a body
    // outside the step would wait in it and act all at once when it wakes.
    nPhysikBody* MovingBody();

private:
    float stats_[NumStats] = {1.0f, 0.001f, 340.0f, 1.0f, 1.0f, 1.0f};
    float values_[NumValues] = {20.0f, 10.0f, 10.0f};
    bool noBodyLogged_ = false;
};
