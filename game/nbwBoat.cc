#include "game/nbwBoat.h"

#include <cmath>
#include <cstring>

#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "logic/nModPhysikState.h"
#include "physics/nPhysikBody.h"

static const nCmdDef<nbwBoat> cmds[] = {
    Bind<&nbwBoat::SetValue>("v_setvalue_sf", "BSVL"),
    Bind<&nbwBoat::GetValue>("f_getvalue_s", "BGVL"),
    Bind<&nbwBoat::SetStat>("v_setstat_sf", "BSST"),
    Bind<&nbwBoat::GetStat>("f_getstat_s", "BGST"),
    Bind<&nbwBoat::PlayMoveByName>("v_playmove_sf", "BPLM"),
};
const nClassInfo nbwBoat::classInfo = nClassInfo::Make<nbwBoat>("nbwboat", "nbwitem", cmds);

namespace {

const char* const kStats[nbwBoat::NumStats] = {"energie", "energielose", "maxload", "speed", "zoomstate",
                                               "zoomscale"};
const char* const kValues[nbwBoat::NumValues] = {"movement_accel", "rotation_accel", "draft_accel"};
const char* const kMoves[nbwBoat::NumMoves] = {"forward", "backward", "left", "right"};

// The index of exactly that name in the table, -1 when there is none.
template <int N>
int IndexOf(const char* const (&table)[N], const char* name) {
    if (!name) return -1;
    for (int i = 0; i < N; i++) {
        if (std::strcmp(table[i], name) == 0) return i;
    }
    return -1;
}

}  // namespace

nbwBoat::nbwBoat() = default;
nbwBoat::~nbwBoat() = default;

const char* nbwBoat::StatName(int i) {
    return i >= 0 && i < NumStats ? kStats[i] : nullptr;
}

const char* nbwBoat::ValueName(int i) {
    return i >= 0 && i < NumValues ? kValues[i] : nullptr;
}

const char* nbwBoat::MoveName(int i) {
    return i >= 0 && i < NumMoves ? kMoves[i] : nullptr;
}

// -- the tables -----------------------------------------------------------------------

namespace {

// The number named exactly `name` in a boat table, null (logged for `op`) when the table
// has no such name.
template <int N>
float* Named(const nbwBoat* boat, const char* const (&names)[N], float (&values)[N], const char* name,
             const char* op, const char* kind) {
    const int i = IndexOf(names, name);
    if (i >= 0) return &values[i];
    n_error("%s: %s: no %s '%s'\n", boat->GetFullName().c_str(), op, kind, name ? name : "");
    return nullptr;
}

}  // namespace

void nbwBoat::SetValue(const char* name, float value) {
    if (float* v = Named(this, kValues, values_, name, "setvalue", "value")) *v = value;
}

float nbwBoat::GetValue(const char* name) {
    const float* v = Named(this, kValues, values_, name, "getvalue", "value");
    return v ? *v : 0.0f;
}

void nbwBoat::SetStat(const char* name, float value) {
    if (float* v = Named(this, kStats, stats_, name, "setstat", "stat")) *v = value;
}

float nbwBoat::GetStat(const char* name) {
    const float* v = Named(this, kStats, stats_, name, "getstat", "stat");
    return v ? *v : 0.0f;
}

// -- moving ---------------------------------------------------------------------------

nPhysikBody* nbwBoat::MovingBody() {
    nModPhysikState* st = GetPhysikState();
    nPhysikBody* body = st && st->GetEnabled() && GetPhysikCount() > 0 ? st->GetBody() : nullptr;
    if (!body && !noBodyLogged_) {
        noBodyLogged_ = true;
        n_error("%s: no physics body to move: moves and the stabiliser are skipped (logged once)\n",
                GetFullName().c_str());
    }
    return body;
}

void nbwBoat::PlayMoveByName(const char* name, float /*unused*/) {
    const int move = IndexOf(kMoves, name);
    if (move < 0) {
        n_error("%s: playmove: no move '%s'\n", GetFullName().c_str(), name ? name : "");
        return;
    }
    PlayMove(move);
}

void nbwBoat::PlayMove(int move) {
    if (move < 0 || move >= NumMoves) return;
    nPhysikBody* body = MovingBody();
    if (!body) return;
    const float a = values_[MovementAccel];
    static const vector3 ahead(0.0f, 0.0f, -1.0f);
    switch (move) {
    case Forward: body->AddRelForceAtRelPos(vector3(0.0f, 0.0f, -a), ahead); break;
    case Backward: body->AddRelForceAtRelPos(vector3(0.0f, 0.0f, a), ahead); break;
    case Left: body->AddRelForceAtRelPos(vector3(-0.5f * a, 0.0f, 0.0f), ahead); break;
    case Right: body->AddRelForceAtRelPos(vector3(0.5f * a, 0.0f, 0.0f), ahead); break;
    default: break;
    }
}

vector3 nbwBoat::StabiliserForce(const matrix44& m) {
    const vector3 x(m.m[0][0], m.m[0][1], m.m[0][2]);
    const vector3 z(m.m[2][0], m.m[2][1], m.m[2][2]);
    vector3 v(z.z, 0.0f, -z.x);
    const double len = std::sqrt(double(v.x) * v.x + double(v.z) * v.z);
    if (len > 1e-7) v *= float(1.0 / len);
    return v - x;
}

bool nbwBoat::Trigger(nLogicGraph* graph) {
    SetPhysik(true);
    if (GetFrameTime() > 0.0f) {
        const vector3 d = StabiliserForce(GetMatrix());
        if (d.x * d.x + d.y * d.y + d.z * d.z > 0.0f) {
            if (nPhysikBody* body = MovingBody()) {
                const vector3 k = d * StabiliserGain;
                body->AddRelForceAtRelPos(k, vector3(1.0f, 0.0f, 0.0f));
                body->AddRelForceAtRelPos(-k, vector3(-1.0f, 0.0f, 0.0f));
            }
        }
    }
    return nbwItem::Trigger(graph);
}

// -- saving ---------------------------------------------------------------------------

bool nbwBoat::SaveCmds(nPersistServer* ps) {
    // The item's variables belong to its store, not to the boat's object script.
    if (!nLogicPhysik2::SaveCmds(ps)) return false;
    for (int i = 0; i < NumValues; i++) {
        if (!ps->Put(this, nId("BSVL"), kValues[i], values_[i])) return false;
    }
    for (int i = 0; i < NumStats; i++) {
        if (!ps->Put(this, nId("BSST"), kStats[i], stats_[i])) return false;
    }
    return true;
}
