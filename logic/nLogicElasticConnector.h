#pragma once
// A connector whose target trails the source (script class "nlogicelasticconnector"):
// the source's matrices go into a two-second history, and the target shows the pose of
// `delay` seconds ago, its position pulled towards the source's current one by the
// catch-up factor (0: fully delayed, 1: on the source, turned as it was).
#include "logic/nLogicConnector.h"
#include "logic/nMatrixHistory.h"

class nLogicElasticConnector : public nLogicConnector {
public:
    static const nClassInfo classInfo;

    nLogicElasticConnector();
    ~nLogicElasticConnector() override;
    // The connector's lines, then "setelasticity" always.
    bool SaveCmds(nPersistServer* ps) override;
    void Traverse(nLogicGraph* graph, const matrix44& parentMatrix) override;
    // A new source starts a new trail: the old source's poses are forgotten.
    void SetSource(const char* path) override;

    void SetElasticity(float catchUp, float delay);
    void GetElasticity(float& catchUp, float& delay) const;
    const nMatrixHistory& GetHistory() const { return history_; }

private:
    nMatrixHistory history_{2.0f, 0.2f};
    float catchUp_ = 0.8f;
    float delay_ = 0.8f;
};
