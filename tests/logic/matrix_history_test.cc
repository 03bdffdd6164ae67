// The matrix history: slots per length and step, puts that fill the slots passed over,
// reads blended between neighbours, smoothing, and bad lengths, steps, times and spans
// that must stay inside the ring.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kernel/nKernelServer.h"
#include "logic/nMatrixHistory.h"
#include "tests/kernel/TestLog.h"

namespace {

// A matrix told apart by its translation x.
matrix44 At(float x) {
    matrix44 m;
    m.SetTranslation(vector3(x, 0.0f, 0.0f));
    return m;
}

float X(const matrix44& m) {
    return m.m[3][0];
}

class MatrixHistoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        kernel = new nKernelServer();
        kernel->SetLogHandler(&log);
    }
    void TearDown() override { delete kernel; }
    // Ten slots of 0.2 s, slot i holding At(i), the last put in slot 9.
    static nMatrixHistory Ramp() {
        nMatrixHistory h(2.0f, 0.2f);
        // Each time lies inside its slot, so float rounding cannot move it to the next.
        for (int i = 0; i < 10; i++) h.Put(At(float(i)), (float(i) - 0.5f) * 0.2f);
        return h;
    }
    nTestLog log;
    nKernelServer* kernel = nullptr;
};

TEST_F(MatrixHistoryTest, PutsFillTheSlotsPassedOverByBlending) {
    EXPECT_EQ(nMatrixHistory(2.0f, 0.2f).GetNumSlots(), 10);
    EXPECT_EQ(nMatrixHistory(1.0f, 0.3f).GetNumSlots(), 4);

    nMatrixHistory h(2.0f, 0.2f);
    EXPECT_EQ(h.GetPosition(), -1);
    // The first put fills the whole ring.
    h.Put(At(1.0f), 0.2f);
    EXPECT_EQ(h.GetPosition(), 1);
    for (int i = 0; i < 10; i++) EXPECT_EQ(X(h.GetSlot(i)), 1.0f) << i;

    // B at 1.0 lands in slot 5; slots 2, 3, 4 take 1/4, 2/4, 3/4 of it; slot 1 keeps A.
    h.Put(At(5.0f), 1.0f);
    EXPECT_EQ(h.GetPosition(), 5);
    const float want[10] = {1.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f, 1.0f, 1.0f, 1.0f, 1.0f};
    for (int i = 0; i < 10; i++) EXPECT_FLOAT_EQ(X(h.GetSlot(i)), want[i]) << i;

    // A put into the slot of the last put changes that slot only.
    h.Put(At(9.0f), 0.9f);
    EXPECT_EQ(h.GetPosition(), 5);
    for (int i = 0; i < 10; i++) EXPECT_FLOAT_EQ(X(h.GetSlot(i)), i == 5 ? 9.0f : want[i]) << i;

    // Past the ring's end: from slot 5 to slot ceil(2.6 / 0.2) mod 10 = 3, through 6 ... 2.
    h.Put(At(17.0f), 2.6f);
    EXPECT_EQ(h.GetPosition(), 3);
    const float wrapped[10] = {14.0f, 15.0f, 16.0f, 17.0f, 4.0f, 9.0f, 10.0f, 11.0f, 12.0f, 13.0f};
    for (int i = 0; i < 10; i++) EXPECT_NEAR(X(h.GetSlot(i)), wrapped[i], 1e-5f) << i;
    EXPECT_FALSE(log.TakeErrors());
}

TEST_F(MatrixHistoryTest, GetBlendsNeighbouringSlotsAndMirrorsNegativeTimes) {
    nMatrixHistory h = Ramp();
    EXPECT_EQ(h.GetPosition(), 9);
    EXPECT_NEAR(X(h.Get(0.5f)), 2.5f, 1e-5f);  // slots 2 and 3 at 0.5
    EXPECT_TRUE(h.Get(-0.4f).isequal(h.Get(0.4f), 1e-5f));
    EXPECT_NEAR(X(h.Get(-0.4f)), 2.0f, 1e-5f);
    // The last slot blends with the first.
    EXPECT_NEAR(X(h.Get(1.9f)), 4.5f, 1e-5f);
    // Times beyond the length wrap around it.
    EXPECT_NEAR(X(h.Get(2.5f)), 2.5f, 1e-4f);
    // With 0.01 s slots the quotient just below the length rounds up to the slot count:
    // the read must stay inside the ring, next to slot 0.
    nMatrixHistory fine(1.0f, 0.01f);
    ASSERT_EQ(fine.GetNumSlots(), 100);
    for (int i = 0; i < 100; i++) fine.Put(At(float(i)), (float(i) - 0.5f) * 0.01f);
    const float end = std::nextafter(1.0f, 0.0f);
    EXPECT_NEAR(X(fine.Get(end)), 0.0f, 1e-3f);
    EXPECT_NEAR(X(fine.Get(-end)), 0.0f, 1e-3f);
}

TEST_F(MatrixHistoryTest, SmoothReblendsTheSpanAndNeverReachesPastTheRing) {
    // A spike: slot 1 holds 9, every other slot 0.
    nMatrixHistory h(2.0f, 0.2f);
    h.Smooth(0.6f);  // empty: nothing to do
    h.Put(At(0.0f), 0.1f);
    h.Put(At(9.0f), 0.15f);
    EXPECT_EQ(h.GetPosition(), 1);
    // Over 0.6 s: three slots back (8, 9, 0) blend towards slot 1.
    h.Smooth(0.6f);
    const float want[10] = {6.0f, 9.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 3.0f};
    for (int i = 0; i < 10; i++) EXPECT_NEAR(X(h.GetSlot(i)), want[i], 1e-5f) << i;

    // Spans of nothing change nothing.
    for (float span : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN()}) {
        h.Smooth(span);
        for (int i = 0; i < 10; i++) EXPECT_NEAR(X(h.GetSlot(i)), want[i], 1e-5f) << span << " " << i;
    }

    // A span longer than the ring reaches back to its oldest slot (2), no further: a
    // wrap would blend the recent slots again and start outside the ring.
    h.Smooth(5.0f);
    for (int k = 0; k < 9; k++) EXPECT_NEAR(X(h.GetSlot(2 + k)), float(k), 1e-5f) << k;
    EXPECT_NEAR(X(h.GetSlot(1)), 9.0f, 1e-5f);
}

TEST_F(MatrixHistoryTest, BlendRebuildsTheFourthColumn) {
    matrix44 a(1, 2, 3, 5, 4, 5, 6, 5, 7, 8, 9, 5, 10, 11, 12, 5);
    matrix44 b(0, 0, 0, 7, 0, 0, 0, 7, 0, 0, 0, 7, 0, 0, 0, 7);
    matrix44 r = nMatrixHistory::Blend(a, b, 0.25f);
    for (int i = 0; i < 4; i++) {
        for (int j = 0; j < 3; j++) EXPECT_FLOAT_EQ(r.m[i][j], 0.25f * a.m[i][j]) << i << j;
        EXPECT_EQ(r.m[i][3], i == 3 ? 1.0f : 0.0f) << i;
    }
}

TEST_F(MatrixHistoryTest, BadLengthsStepsAndTimesStayInsideTheRing) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float bad[][2] = {{2.0f, 0.0f}, {0.0f, 0.2f}, {-1.0f, 0.2f}, {2.0f, -0.2f}, {nan, 0.2f}, {2.0f, inf}};
    for (const auto& b : bad) {
        SCOPED_TRACE(testing::Message() << b[0] << " " << b[1]);
        nMatrixHistory h(b[0], b[1]);
        EXPECT_EQ(h.GetNumSlots(), 1);
        EXPECT_TRUE(log.TakeErrors());
        h.Put(At(3.0f), 0.7f);
        h.Put(At(4.0f), 12.0f);
        h.Smooth(1.0f);
        EXPECT_EQ(X(h.Get(0.3f)), 4.0f);
        EXPECT_EQ(X(h.Get(-5.0f)), 4.0f);
    }

    // A ring too long to hold is cut, and still read and written inside.
    nMatrixHistory huge(1.0e6f, 1.0e-3f);
    EXPECT_EQ(huge.GetNumSlots(), nMatrixHistory::MaxSlots);
    EXPECT_TRUE(log.TakeErrors());
    huge.Put(At(1.0f), 3.0e5f);
    huge.Smooth(1.0e5f);
    EXPECT_EQ(X(huge.Get(7.0e4f)), 1.0f);

    // Times that are no number store nothing and read the last put, logged once.
    nMatrixHistory h = Ramp();
    h.Put(At(100.0f), nan);
    h.Put(At(100.0f), inf);
    EXPECT_EQ(h.GetPosition(), 9);
    EXPECT_EQ(X(h.GetSlot(9)), 9.0f);
    EXPECT_EQ(X(h.Get(-inf)), 9.0f);
    EXPECT_EQ(log.errors.size(), 1u);
}

}  // namespace
