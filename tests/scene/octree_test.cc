// The loose octree: balancing, moving elements, the frustum query against a test of
// every element, and its debug drawing read back from the device.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "scene/Frustum.h"
#include "scene/nOctree.h"
#include "scene/nScenePackage.h"
#include "tests/gfx/VertexTestServer.h"

namespace {

// A perspective projection as the graphics server builds it (depth -1..1).
matrix44 Perspective(float l, float r, float b, float t, float n, float f) {
    return matrix44(2 * n / (r - l), 0, 0, 0, 0, 2 * n / (t - b), 0, 0, (l + r) / (r - l), (t + b) / (t - b),
                    -(f + n) / (f - n), -1, 0, 0, -2 * f * n / (f - n), 0);
}

// World to clip for a camera at `eye` looking at `target`.
matrix44 Camera(const vector3& eye, const vector3& target, float near, float far) {
    matrix44 cam;
    cam.SetTranslation(eye);
    cam.LookAt(target, vector3(0.0f, 1.0f, 0.0f));
    cam.Invert();
    return cam * Perspective(-near, near, -near * 0.75f, near * 0.75f, near, far);
}

class OctreeTest : public GfxTestKernel {
protected:
    void SetUp() override {
        GfxTestKernel::SetUp();
        nScenePackage(kernel);
        oct = static_cast<nOctree*>(kernel->New("noctree", "/oct"));
        ASSERT_NE(oct, nullptr);
    }

    // Walks the tree: counts add up, each element is listed where its index says, every
    // element below the root lies inside its node's box, and the pool is all accounted
    // for. Returns the number of elements found.
    int Check(int node = 0) {
        const nOctNode& n = oct->GetNode(node);
        int listed = 0;
        for (nNode* l = n.elements.GetHead(); l; l = l->GetSucc(), listed++) {
            auto* e = static_cast<nOctElement*>(l->GetPtr());
            EXPECT_EQ(e->nodeIndex, node);
            if (node == 0) continue;
            EXPECT_TRUE(e->position.x - e->radius >= n.centre.x - n.extent &&
                        e->position.x + e->radius <= n.centre.x + n.extent);
        }
        EXPECT_EQ(listed, n.numElements) << "node " << node;
        int total = listed;
        if (!n.IsLeaf()) {
            for (int16_t c : n.children) {
                EXPECT_EQ(oct->GetNode(c).parent, node);
                total += Check(c);
            }
        }
        EXPECT_EQ(total, n.subtreeCount) << "node " << node;
        if (node == 0) {
            EXPECT_EQ(CountNodes(0) + oct->GetNumFreeNodes(), nOctree::PoolSize);
        }
        return total;
    }
    int CountNodes(int node) {
        const nOctNode& n = oct->GetNode(node);
        int k = 1;
        if (!n.IsLeaf()) {
            for (int16_t c : n.children) k += CountNodes(c);
        }
        return k;
    }

    nOctree* oct = nullptr;
};

TEST_F(OctreeTest, BalanceSplitsCrowdedLeavesAndCollapsesSparseSubtrees) {
    // Five elements, one in each of the root's children 0..4, and one beyond every child.
    std::vector<std::unique_ptr<nOctElement>> e;
    const float h = 100000.0f;
    const vector3 at[] = {{h, h, h}, {-h, h, h}, {h, -h, h}, {-h, -h, h}, {h, h, -h}, {190000.0f, 0.0f, 0.0f}};
    for (const vector3& p : at) {
        e.push_back(std::make_unique<nOctElement>());
        oct->AddElement(e.back().get(), p, 10.0f);
    }
    EXPECT_EQ(oct->GetNode(0).numElements, 6);
    oct->Balance();
    const nOctNode& root = oct->GetNode(0);
    ASSERT_FALSE(root.IsLeaf());
    EXPECT_EQ(root.numElements, 1);
    EXPECT_EQ(e[5]->nodeIndex, 0);
    for (int i = 0; i < 5; i++) EXPECT_EQ(e[size_t(i)]->nodeIndex, root.children[i]);
    const nOctNode& c5 = oct->GetNode(root.children[5]);
    EXPECT_EQ(c5.extent, 100000.0f);
    EXPECT_TRUE(c5.centre.isequal(vector3(-50000.0f, 50000.0f, -50000.0f), 0.0f));
    EXPECT_EQ(Check(), 6);

    // Four gone: the subtree holds 2 <= 4, so the children go back to the pool.
    for (int i = 0; i < 4; i++) oct->RemoveElement(e[size_t(i)].get());
    EXPECT_FALSE(e[0]->IsInTree());
    oct->Balance();
    EXPECT_TRUE(oct->GetNode(0).IsLeaf());
    EXPECT_EQ(oct->GetNode(0).numElements, 2);
    EXPECT_EQ(e[4]->nodeIndex, 0);
    EXPECT_EQ(oct->GetNumFreeNodes(), nOctree::PoolSize - 1);
    EXPECT_EQ(Check(), 2);

    // An element that dies leaves the tree.
    e[4].reset();
    EXPECT_EQ(oct->GetNode(0).subtreeCount, 1);
}

TEST_F(OctreeTest, RadiiAndLargeElementsAtACentre) {
    nOctElement big, small, zero, negative;
    oct->SetSubdivNum(0);
    // Larger than a quarter of the root's extent: fits no child.
    oct->AddElement(&big, vector3(0, 0, 0), 60000.0f);
    oct->AddElement(&small, vector3(0, 0, 0), 40000.0f);
    oct->AddElement(&zero, vector3(5, 5, 5), 0.0f);
    oct->AddElement(&negative, vector3(5, 5, 5), -3.0f);
    EXPECT_EQ(zero.radius, 1.0f);
    EXPECT_EQ(negative.radius, 3.0f);
    oct->Balance();
    EXPECT_EQ(big.nodeIndex, 0);
    EXPECT_NE(small.nodeIndex, 0);
    EXPECT_NE(zero.nodeIndex, 0);
    Check();
    oct->UpdateElement(&zero, vector3(5, 5, 5), 0.0f);
    EXPECT_EQ(zero.radius, 1.0f);
}

TEST_F(OctreeTest, UpdateMovesElementsAndAddsThoseNotInTheTree) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-5000.0f, 5000.0f);
    std::vector<std::unique_ptr<nOctElement>> e;
    for (int i = 0; i < 300; i++) {
        e.push_back(std::make_unique<nOctElement>());
        oct->AddElement(e.back().get(), vector3(u(rng), u(rng), u(rng)), 2.0f);
    }
    oct->Balance();
    for (int round = 0; round < 3; round++) {
        for (auto& el : e) oct->UpdateElement(el.get(), vector3(u(rng), u(rng), u(rng)), 2.0f);
        EXPECT_EQ(Check(), 300);
        oct->Balance();
        EXPECT_EQ(Check(), 300);
    }
    // Far outside the root box: kept by the root.
    oct->UpdateElement(e[0].get(), vector3(900000.0f, 0, 0), 1.0f);
    EXPECT_EQ(e[0]->nodeIndex, 0);
    nOctElement loose;
    oct->UpdateElement(&loose, vector3(1, 2, 3), 4.0f);
    EXPECT_TRUE(loose.IsInTree());
    EXPECT_EQ(Check(), 301);
    // A second tree takes an element over from the first.
    auto* other = static_cast<nOctree*>(kernel->New("noctree", "/oct2"));
    other->AddElement(&loose, vector3(1, 2, 3), 4.0f);
    EXPECT_EQ(loose.GetTree(), other);
    EXPECT_EQ(Check(), 300);
    other->Release();
    EXPECT_FALSE(loose.IsInTree());
}

TEST_F(OctreeTest, AFullPoolStopsSplittingWithoutHarm) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<float> u(-150000.0f, 150000.0f);
    std::vector<std::unique_ptr<nOctElement>> e;
    for (int i = 0; i < 3000; i++) {
        e.push_back(std::make_unique<nOctElement>());
        oct->AddElement(e.back().get(), vector3(u(rng), u(rng), u(rng)), 1.0f);
    }
    oct->SetSubdivNum(0);
    oct->Balance();
    EXPECT_LT(oct->GetNumFreeNodes(), 8);
    EXPECT_GE(oct->GetNumFreeNodes(), 0);
    EXPECT_EQ(Check(), 3000);
    for (int i = 0; i < 2990; i++) oct->RemoveElement(e[size_t(i)].get());
    oct->SetSubdivNum(4);
    oct->Balance();
    EXPECT_EQ(Check(), 10);
}

// The query must give exactly the elements a test of every element gives, for any
// frustum: elements in the root and far outside its box, radii from 0 to very large,
// trees balanced at different thresholds.
TEST_F(OctreeTest, FrustumQueryEqualsTestingEveryElement) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> u(-4000.0f, 4000.0f), rad(0.0f, 40.0f);
    std::vector<std::unique_ptr<nOctElement>> e;
    for (int i = 0; i < 6000; i++) {
        e.push_back(std::make_unique<nOctElement>());
        float r = i % 500 == 0 ? 30000.0f : rad(rng);
        vector3 p(u(rng), u(rng), u(rng));
        if (i % 997 == 0) p.x = 300000.0f;
        oct->AddElement(e.back().get(), p, r);
    }
    const struct {
        vector3 eye, target;
        float near, far;
    } views[] = {
        {{0, 0, 0}, {0, 0, -1}, 1.0f, 3000.0f},
        {{-4000, 100, 2000}, {0, 0, 0}, 5.0f, 6000.0f},
        {{3000, 3000, 3000}, {2000, 2500, 1000}, 0.5f, 800.0f},
        {{0, 5000, 0}, {10, 0, 0}, 1.0f, 400000.0f},
        // Beyond the root box, looking at the elements kept there.
        {{250000, 0, 0}, {400000, 0, 0}, 1.0f, 60000.0f},
    };
    std::vector<nOctElement*> got, want;
    for (int subdiv : {1, 8, 64, -1}) {
        if (subdiv < 0) {
            // Moved, removed and dying elements since the last query: what the query
            // reads must follow.
            for (size_t i = 0; i < e.size(); i += 7)
                oct->UpdateElement(e[i].get(), vector3(u(rng), u(rng), u(rng)), 5.0f);
            for (size_t i = 3; i < e.size(); i += 11) oct->RemoveElement(e[i].get());
            for (size_t i = 5; i < e.size(); i += 13) e[i].reset(new nOctElement());
        } else {
            oct->SetSubdivNum(subdiv);
            oct->Balance();
        }
        Check();
        for (const auto& v : views) {
            Frustum f(Camera(v.eye, v.target, v.near, v.far));
            got.clear();
            want.clear();
            oct->CollectVisible(f, got);
            for (auto& el : e)
                if (el->IsInTree() && f.SphereMeets(el->position, el->radius)) want.push_back(el.get());
            std::sort(got.begin(), got.end());
            std::sort(want.begin(), want.end());
            EXPECT_EQ(got, want) << "subdiv " << subdiv << ", eye " << v.eye.x << " " << v.eye.y;
            EXPECT_FALSE(want.empty());
            EXPECT_LT(want.size(), e.size());
        }
    }
}

using OctreeDrawTest = VertexTestServer;

TEST_F(OctreeDrawTest, DebugDrawingShowsNodeBoxesInGreen) {
    nScenePackage(kernel);
    auto* oct = static_cast<nOctree*>(kernel->New("noctree", "/oct"));
    nOctElement e;
    oct->AddElement(&e, vector3(0, 0, 0), 50000.0f);
    // A viewer scaled up by 250000: the root box fills clip space to +-0.8 (pixels 6
    // and 57), the element's box to +-0.2 (pixels 25 and 38).
    matrix44 viewer;
    for (int i = 0; i < 3; i++) viewer.m[i][i] = 250000.0f;
    for (bool on : {false, true}) {
        oct->SetVisualize(on);
        ASSERT_TRUE(BeginFrame());
        gfx->SetMatrix(nGfxServer::VIEWER, viewer);
        oct->Visualize(gfx);
        gfx->EndScene();
        EXPECT_EQ(NearPixel(57, 32, 0xFF00B200u), on);
        EXPECT_EQ(NearPixel(32, 6, 0xFF00B200u), on);
        EXPECT_EQ(NearPixel(38, 32, 0xFFB2B200u), on);
        EXPECT_TRUE(bwtest::ColorNear(Presented(32, 32), Clear));
    }
    EXPECT_FALSE(TakeErrors());
}

}  // namespace
