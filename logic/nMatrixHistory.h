#pragma once
// A ring of matrices indexed by time: a follower puts its leader's matrix in every frame
// and reads back the matrix of some time ago, blended between neighbouring slots. The
// elastic connector and the game's follow camera trail their leaders with it.
#include <vector>

#include "kernel/matrix44.h"

class nMatrixHistory {
public:
    // ceil(length / step) slots, each the identity. A length or step that is not a
    // positive finite number is logged and gives one slot; a ring of more than
    // MaxSlots slots is logged and cut to that many.
    nMatrixHistory(float length, float step);

    static constexpr int MaxSlots = 4096;

    // Stores m in the slot of `time` and fills the slots passed over since the last put
    // by blending from the last put's matrix towards m. The first put fills the ring. A
    // time that is not finite is logged and stores nothing.
    void Put(const matrix44& m, float time);
    // The matrix of `time`, blended between its two neighbouring slots. A negative time
    // reads as length - time. A time that is not finite is logged and gives the slot put
    // last.
    matrix44 Get(float time) const;
    // Re-blends the slots of the last `span` seconds towards the slot put last. A span
    // longer than the ring covers the ring back to its oldest slot; a span of nothing
    // (or not finite) changes nothing.
    void Smooth(float span);
    // Forgets every put: the next put fills the ring again.
    void Clear() { position_ = -1; }

    // t * a + (1 - t) * b over the rotation rows and the translation row; the fourth
    // column becomes (0, 0, 0, 1) whatever a and b hold there.
    static matrix44 Blend(const matrix44& a, const matrix44& b, float t);

    int GetNumSlots() const { return count_; }
    // The slot put last, -1 while empty.
    int GetPosition() const { return position_; }
    const matrix44& GetSlot(int i) const { return slots_[Wrap(i)]; }
    float GetLength() const { return length_; }
    float GetStep() const { return step_; }

private:
    // i modulo the slot count, never negative.
    int Wrap(long long i) const;
    // The slot of trunc(q) modulo the slot count, for a finite quotient q of any size.
    int SlotOf(double q) const;

    int position_ = -1;
    int count_ = 1;
    // A bad time is logged once until a good one comes.
    mutable bool badTimeLogged_ = false;
    std::vector<matrix44> slots_;
    float length_;
    float step_;
};
