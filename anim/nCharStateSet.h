#pragma once
// The named states of a character node: each state mixes animations from the node's
// curve file, one weight channel per animation, with curves bound to joints once when
// the animation is added.
#include <string>
#include <vector>

#include "kernel/nRef.h"

class nAnimCurve;
class nAnimCurveArray;
class nVisNode;

struct nCharStateAnim {
    nAnimCurveArray* curves = nullptr;
    std::string name;
    // Per joint; null where the curve file has no such curve.
    std::vector<const nAnimCurve*> transCurves;
    std::vector<const nAnimCurve*> rotCurves;
    std::string weightChannel;
    // Global channel index, -1 until the channels are collected.
    int weightChannelHandle = -1;
};

struct nCharState {
    std::string name;
    nAnimCurveArray* curves = nullptr;
    std::vector<nCharStateAnim> anims;
    bool open = false;
};

class nCharStateSet {
public:
    // A character instance keeps one weight per animation of its current state.
    static constexpr int MaxAnims = 32;

    nCharStateSet() = default;
    ~nCharStateSet();
    nCharStateSet(const nCharStateSet&) = delete;
    nCharStateSet& operator=(const nCharStateSet&) = delete;

    // Frees the states and takes n empty ones over `curves`, holding a reference on the
    // array so the bound curve pointers stay valid while the states live.
    void Begin(nAnimCurveArray* curves, int n);
    void Clear();

    int GetNumStates() const { return int(states.size()); }
    nCharState* GetState(int i) { return i >= 0 && i < GetNumStates() ? &states[size_t(i)] : nullptr; }
    // Index of the state of that name, -1 when none.
    int FindState(const char* name) const;

    // True unless the curve array the states were bound to has died (at shutdown the
    // share directory goes whatever its count); a set begun without one trusts its caller.
    bool CurvesAlive() const { return !heldCurves_ || curvesRef_.IsValid(); }

    nAnimCurveArray* curves = nullptr;
    std::vector<nCharState> states;
    // The child a state attaches while it is current.
    std::vector<nRef<nVisNode>> stateNodes;

private:
    nRef<nAnimCurveArray> curvesRef_;
    bool heldCurves_ = false;
};
