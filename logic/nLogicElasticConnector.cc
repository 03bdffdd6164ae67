#include "logic/nLogicElasticConnector.h"

#include "kernel/nPersistServer.h"
#include "logic/nLogicVisual2.h"

static const nCmdDef<nLogicElasticConnector> cmds[] = {
    Bind<&nLogicElasticConnector::SetElasticity>("v_setelasticity_ff", "SELA"),
    {"ff_getelasticity_v", "GELA",
     [](nLogicElasticConnector* self, nCmd* c) {
         float catchUp, delay;
         self->GetElasticity(catchUp, delay);
         c->Out()->SetF(catchUp);
         c->Out()->SetF(delay);
     }},
};
const nClassInfo nLogicElasticConnector::classInfo =
    nClassInfo::Make<nLogicElasticConnector>("nlogicelasticconnector", "nlogicconnector", cmds);

nLogicElasticConnector::nLogicElasticConnector() = default;
nLogicElasticConnector::~nLogicElasticConnector() = default;

void nLogicElasticConnector::SetSource(const char* path) {
    nLogicConnector::SetSource(path);
    history_.Clear();
}

void nLogicElasticConnector::SetElasticity(float catchUp, float delay) {
    catchUp_ = catchUp;
    delay_ = delay;
}

void nLogicElasticConnector::GetElasticity(float& catchUp, float& delay) const {
    catchUp = catchUp_;
    delay = delay_;
}

void nLogicElasticConnector::Traverse(nLogicGraph* graph, const matrix44& parentMatrix) {
    nLogicVisual2 *source, *target;
    if (ResolveEnds(source, target)) {
        const matrix44& s = source->GetMatrix();
        const float now = GetTime();
        history_.Put(s, now);
        history_.Smooth(delay_);
        const matrix44 d = history_.Get(now - delay_);
        // The delayed pose with the offset in its frame; the catch-up is a move in the
        // frame the source's translation is given in, so it is added after the turn.
        matrix44 m = GetOffsetMatrix() * d;
        m.Translate((s.Translation() - d.Translation()) * catchUp_);
        target->SetMatrix(m);
    }
    nLogicNode::Traverse(graph, parentMatrix);
}

bool nLogicElasticConnector::SaveCmds(nPersistServer* ps) {
    if (!nLogicConnector::SaveCmds(ps)) return false;
    return ps->Put(this, nId("SELA"), catchUp_, delay_);
}
