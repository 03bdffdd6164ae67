// Characters against hand-written loops in the same run.
// Skin: 10,000 vertices with four influences each over 32 joints, deformed by
// nCharSkin::Deform from one vertex buffer into another (ordinary memory), against a
// loop doing the same sums over plain float arrays.
// Evaluate: one character instance of 32 joints whose current state mixes 4 animations,
// against a loop doing the same weight steps, curve sampling, blending and matrix chain
// over plain arrays.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "anim/nAnimCurve.h"
#include "anim/nAnimPackage.h"
#include "anim/nCharSkin.h"
#include "anim/nCharacterInstance.h"
#include "gfx/nGfxPackage.h"
#include "gfx/nVertexBuffer.h"
#include "gfx/nVertexPool.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "scene/nScenePackage.h"

namespace {

constexpr int Vertices = 10000;
constexpr int Joints = 32;
constexpr int Anims = 4;

// Deterministic values without the engine generator.
float Val(int i, int salt) { return float((i * 7919 + salt * 104729) % 2001) / 1000.0f - 1.0f; }

matrix44 JointMatrix(int j) {
    matrix44 m;
    quaternion q(Val(j, 1), Val(j, 2), Val(j, 3), 1.0f);
    q.Norm();
    m.SetQuaternion(q);
    m.Translate(vector3(Val(j, 4), Val(j, 5), Val(j, 6)));
    return m;
}

struct SkinData {
    std::vector<float> pos, nrm, w;
    std::vector<int32_t> idx;
    SkinData() : pos(3 * Vertices), nrm(3 * Vertices), w(4 * Vertices), idx(4 * Vertices) {
        for (int v = 0; v < Vertices; v++) {
            for (int k = 0; k < 3; k++) pos[3 * v + k] = Val(v, k), nrm[3 * v + k] = Val(v, k + 3);
            float sum = 0;
            for (int k = 0; k < 4; k++) sum += w[4 * v + k] = Val(v, k + 6) + 1.5f;
            for (int k = 0; k < 4; k++) w[4 * v + k] /= sum, idx[4 * v + k] = (v * 13 + k * 5) % Joints;
        }
    }
};

void BM_SkinDeform(benchmark::State& state) {
    nKernelServer kernel([](nKernelServer* ks) {
        nKernelPackage(ks);
        nGfxPackage(ks);
        nScenePackage(ks);
        nAnimPackage(ks);
    });
    {
        SkinData d;
        const int srcComps = N_VT_COORD | N_VT_NORM | N_VT_JW;
        nVertexPool srcPool(nullptr, nullptr, nVertexPool::STATIC, srcComps, Vertices);
        nVertexPool dstPool(nullptr, nullptr, nVertexPool::STATIC, N_VT_COORD | N_VT_NORM, Vertices);
        srcPool.Alloc();
        dstPool.Alloc();
        auto* src = static_cast<nVertexBuffer*>(kernel.New("nvertexbuffer", "/src"));
        auto* dst = static_cast<nVertexBuffer*>(kernel.New("nvertexbuffer", "/dst"));
        src->SetRange(srcPool.AllocRange(Vertices), nullptr, 0);
        dst->SetRange(dstPool.AllocRange(Vertices), nullptr, 0);
        src->Lock();
        dst->Lock();
        const size_t ss = size_t(src->GetStride());
        for (size_t v = 0; v < size_t(Vertices); v++) {
            std::memcpy(src->GetCoordPtr() + v * ss, &d.pos[3 * v], 12);
            std::memcpy(src->GetNormPtr() + v * ss, &d.nrm[3 * v], 12);
            std::memcpy(src->GetJointPtr(0) + v * ss, &d.w[4 * v], 16);
            std::memcpy(src->GetJointPtr(1) + v * ss, &d.idx[4 * v], 16);
        }
        std::vector<matrix44> mats(Joints);
        std::vector<const matrix44*> table(Joints);
        for (int j = 0; j < Joints; j++) mats[size_t(j)] = JointMatrix(j), table[size_t(j)] = &mats[size_t(j)];
        for (auto _ : state) {
            nCharSkin::Deform(src, table.data(), Joints, dst, nullptr);
            benchmark::DoNotOptimize(dst->GetCoordPtr()[0]);
            benchmark::ClobberMemory();
        }
        state.SetItemsProcessed(state.iterations() * Vertices);
        src->Unlock();
        dst->Unlock();
        src->Release();
        dst->Release();
    }
}
BENCHMARK(BM_SkinDeform);

void BM_SkinRawLoop(benchmark::State& state) {
    SkinData d;
    std::vector<float> mats(16 * Joints), outPos(3 * Vertices), outNrm(3 * Vertices);
    for (int j = 0; j < Joints; j++) std::memcpy(&mats[16 * size_t(j)], JointMatrix(j).m, 64);
    for (auto _ : state) {
        for (int v = 0; v < Vertices; v++) {
            const float* p = &d.pos[3 * size_t(v)];
            const float* n = &d.nrm[3 * size_t(v)];
            float o[6] = {};
            for (int k = 0; k < 4; k++) {
                const float w = d.w[4 * size_t(v) + k];
                if (!(w > 0.0f)) continue;
                const float* m = &mats[16 * size_t(d.idx[4 * size_t(v) + k])];
                o[0] += w * (p[0] * m[0] + p[1] * m[4] + p[2] * m[8] + m[12]);
                o[1] += w * (p[0] * m[1] + p[1] * m[5] + p[2] * m[9] + m[13]);
                o[2] += w * (p[0] * m[2] + p[1] * m[6] + p[2] * m[10] + m[14]);
                o[3] += w * (n[0] * m[0] + n[1] * m[4] + n[2] * m[8]);
                o[4] += w * (n[0] * m[1] + n[1] * m[5] + n[2] * m[9]);
                o[5] += w * (n[0] * m[2] + n[1] * m[6] + n[2] * m[10]);
            }
            std::memcpy(&outPos[3 * size_t(v)], o, 12);
            std::memcpy(&outNrm[3 * size_t(v)], o + 3, 12);
        }
        benchmark::DoNotOptimize(outPos.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * Vertices);
}
BENCHMARK(BM_SkinRawLoop);

// 4 animations x 32 joints, a translation and a rotation curve each, 30 keys at 10 per
// second, looping.
struct Curves {
    std::vector<nAnimCurve> trans, rot;
    Curves() : trans(Anims * Joints), rot(Anims * Joints) {
        for (int c = 0; c < Anims * Joints; c++) {
            trans[size_t(c)].Init(10.0f, 0, 30, false);
            trans[size_t(c)].SetIpolType(nAnimCurve::Linear);
            rot[size_t(c)].Init(10.0f, 0, 30, false);
            rot[size_t(c)].SetIpolType(nAnimCurve::Quat);
            for (int k = 0; k < 30; k++) {
                trans[size_t(c)].SetKey(k, nAnimKey{Val(c + k, 1), Val(c + k, 2), Val(c + k, 3), 0});
                quaternion q(Val(c + k, 4), Val(c + k, 5), Val(c + k, 6), 1.0f);
                q.Norm();
                rot[size_t(c)].SetKey(k, nAnimKey{q.x, q.y, q.z, q.w});
            }
        }
    }
    const nAnimCurve* T(int a, int j) const { return &trans[size_t(a * Joints + j)]; }
    const nAnimCurve* R(int a, int j) const { return &rot[size_t(a * Joints + j)]; }
};

vector3 RestT(int j) { return vector3(Val(j, 7), Val(j, 8), Val(j, 9)); }

void BM_CharacterEvaluate(benchmark::State& state) {
    Curves curves;
    nCharStateSet set;
    set.Begin(nullptr, 1);
    set.states[0].anims.resize(Anims);
    for (int a = 0; a < Anims; a++) {
        nCharStateAnim& anim = set.states[0].anims[size_t(a)];
        for (int j = 0; j < Joints; j++) anim.transCurves.push_back(curves.T(a, j)), anim.rotCurves.push_back(curves.R(a, j));
    }
    nCharacterInstance inst;
    inst.skeleton.BeginJoints(Joints);
    for (int j = 0; j < Joints; j++) inst.skeleton.AddJoint(j, "j", j - 1, RestT(j), quaternion());
    inst.stateSet = &set;
    const float targets[Anims] = {1.0f, 0.5f, 0.25f, 0.75f};
    float t = 0.0f;
    for (auto _ : state) {
        t += 0.017f;
        inst.Evaluate(t, targets);
        benchmark::DoNotOptimize(inst.skeleton.GetJoint(Joints - 1)->skinMatrix.m[3][0]);
    }
    state.SetItemsProcessed(state.iterations() * Joints);
}
BENCHMARK(BM_CharacterEvaluate);

void BM_CharacterRawLoop(benchmark::State& state) {
    Curves curves;
    struct Joint {
        vector3 t;
        quaternion q;
        matrix44 invRest, cur, skin;
    };
    std::vector<Joint> joints(Joints);
    for (int j = 0; j < Joints; j++) {
        Joint& jt = joints[size_t(j)];
        jt.t = RestT(j);
        matrix44 rest;
        rest.Translate(jt.t);
        if (j > 0) {
            matrix44 parentRest = joints[size_t(j - 1)].invRest;
            parentRest.Invert();
            rest = rest * parentRest;
        }
        jt.invRest = rest;
        jt.invRest.Invert();
    }
    const float targets[Anims] = {1.0f, 0.5f, 0.25f, 0.75f};
    float weights[Anims] = {};
    float t = 0.0f, last = 0.0f;
    for (auto _ : state) {
        t += 0.017f;
        const float dt = t - last;
        last = t;
        const float rate = (dt > 1.0f ? 0.1f : dt > 0.0f ? dt : 0.01f) / 0.25f;
        float sum = 0.0f;
        for (int a = 0; a < Anims; a++) {
            float w = std::clamp(weights[a], 0.0f, 1.0f);
            const float target = targets[a];
            w = std::fabs(target - w) <= rate ? target : target > w ? std::min(w + rate, target) : std::max(w - rate, target);
            weights[a] = w;
            sum += w;
        }
        if (sum > 0.0f)
            for (float& w : weights) w /= sum;
        for (int j = 0; j < Joints; j++) {
            Joint& jt = joints[size_t(j)];
            vector3 tr;
            quaternion q;
            float qw = 0.0f;
            for (int a = 0; a < Anims; a++) {
                const float w = weights[a];
                if (!(w > 0.0f)) continue;
                const nAnimKey kt = curves.T(a, j)->GetValue(t);
                tr += vector3(kt.x, kt.y, kt.z) * w;
                const nAnimKey kr = curves.R(a, j)->GetValue(t);
                const quaternion r(kr.x, kr.y, kr.z, kr.w);
                if (qw == 0.0f) {
                    q = r, qw = w;
                } else {
                    qw += w;
                    quaternion m;
                    m.Slerp(q, r, w / qw);
                    q = m;
                }
            }
            jt.t = tr, jt.q = q;
            jt.cur.Ident();
            jt.cur.SetQuaternion(q);
            jt.cur.Translate(tr);
            if (j > 0) jt.cur = jt.cur * joints[size_t(j - 1)].cur;
            jt.skin = jt.invRest * jt.cur;
        }
        benchmark::DoNotOptimize(joints[Joints - 1].skin.m[3][0]);
    }
    state.SetItemsProcessed(state.iterations() * Joints);
}
BENCHMARK(BM_CharacterRawLoop);

}  // namespace
