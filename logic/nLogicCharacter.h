#pragma once
// A physics node that plays named animations by weight (script class "nlogiccharacter"):
// each frame scripts or subclasses name the animations to show with a weight, and the
// node turns the weights into render variables, one float per animation named after it
// plus "anim" (the animation named last), which its visualizer modules feed into the
// weight channels of its skinned mesh. The base of the game's actors.
#include <string>
#include <vector>

#include "kernel/nDataCharge.h"
#include "logic/nLogicPhysik2.h"

class nLogicCharacter : public nLogicPhysik2 {
public:
    static const nClassInfo classInfo;

    // More animations than this are refused: a bad count must not take all memory.
    static constexpr int MaxAnims = 4096;

    struct AnimRecord {
        int handle = -1;  // of its render variable
        std::string name;
        bool flag = false;
        float weight = 0.0f;
        float time = 0.0f;
    };

    bool SaveCmds(nPersistServer* ps) override;
    // Declares "anim" and one variable per animation after the visual node's.
    void UpdateVariables() override;
    // Normalises this frame's weights, writes them and "anim", then starts the next
    // frame with no weights given.
    void SetNodeVariables() override;

    // Replaces the records by n empty ones; a count below 0 or above MaxAnims is logged
    // and changes nothing.
    void BeginAnims(int n);
    // Record setters; an index outside 0 to count - 1 is logged and changes nothing.
    void SetAnimTime(int index, float time);
    void SetAnimChannel(int index, const char* name, float weight, bool flag);
    // Drops the render variables, so that the next frame declares them anew.
    void EndAnims();
    // The weight for this frame of the animation of exactly that name; an unknown name
    // is logged and changes nothing.
    void DoAnimByName(const char* name, float weight);
    // Logs the weights each frame for `seconds`.
    void ChannelDump(float seconds);

    // The index of the record of exactly that name, -1 when there is none.
    int FindAnim(const char* name) const;
    // Sets the record's weight, makes it the current animation and adds the weight to
    // the frame's sum; an index outside the records changes nothing (false).
    bool DoAnim(int index, float weight);
    // Forgets the weights given so far this frame: no animation, a weight sum of 0.
    void ClearWeights();
    // Declares the record's float variable and keeps its handle in the record.
    void DeclareAnimVariable(AnimRecord& record);

    int GetNumAnims() const { return int(anims_.size()); }
    const AnimRecord& GetAnim(int index) const { return anims_[size_t(index)]; }
    float GetCurrentAnim() const { return currentAnim_; }
    float GetWeightSum() const { return weightSum_; }
    bool GetDumping() const { return dump_; }
    int GetAnimVariable() const { return animVar_; }

private:
    // True for an index of a record; otherwise logs it for `command`.
    bool CheckIndex(int index, const char* command) const;
    void Dump();

    std::vector<AnimRecord> anims_;
    nDataCharge animsCharge_;  // the table that data sized
    int animVar_ = -1;
    float currentAnim_ = 0.0f;
    float weightSum_ = 0.0f;
    bool dump_ = false;
    float dumpTime_ = 0.0f;
};
