#pragma once
// The diver's documentation tool (script class "nbwdokutool"): a camera ("fotoapparat",
// "videocamera") or sonar ("tauchersonar", "tauchbootsonar", "adssonar", "rovsonar") by
// its "type". A shot switches its view zone on; the first collision pass that sees
// something scores what is in view (each item's "docvalue" once; scenery a little for a
// camera) or, for a sonar, lights the items up, and switches the zone off again.
#include "game/nbwItem.h"

class nbwDokuTool : public nbwItem {
public:
    static const nClassInfo classInfo;

    // Made in the collide context "physik"; off until a shot.
    nbwDokuTool();
    ~nbwDokuTool() override;
    // The item's lines, then the documentation value.
    bool SaveCmds(nPersistServer* ps) override;
    // The item's values, then "docuvalue".
    void StoreToPersist(nPersistLogic* store) override;
    void RestoreFromPersist(nPersistLogic* store) override;
    // The item's, then the scoring of what the view zone reports.
    void AnalyseCollision() override;

    // What a tool's documentation scores at most: shots past it score nothing more, so a
    // camera's score stays within what a save holds.
    static constexpr float MaxDokumentation = 10000.0f;

    // A shot (the argument has no effect): the zone on from time 0, 0.5 scored, the tool
    // worn.
    void MakeDokumentation(float unused);
    // Called by the holder each frame with the tool's matrix in the world: while the
    // zone is on its time runs and, with collision on, it registers there.
    void UpdateCamera(const matrix44& world);

    void SetDokumentation(float value) { docValue_ = value; }
    float GetDokumentation() const { return docValue_; }
    nModCollisionState* GetCameraState() const { return cameraState_; }
    // True for the sonar kinds.
    bool IsSonar();
    // True for the camera kinds.
    bool IsCamera();

protected:
    // The zone goes where the holder puts it, not where the node stands.
    bool FollowsNode(const nModuleState* state) const override;

private:
    nModCollisionState* cameraState_ = nullptr;
    float cameraTime_ = 0.0f;
    // Adds to the score, up to its top.
    void Score(float value);
    float docValue_ = 0.0f;
};
