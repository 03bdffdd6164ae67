#include "collide/nXPairTests.h"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "collide/nCollideContext2.h"
#include "collide/nCollideGeometry.h"
#include "collide/nCollideReportBuffer.h"
#include "collide/nXTriangleShape2.h"

using G = nCollideGeometry;

bool nXPairTests::SphereSphere(float r1, const matrix44& m1, const vector3& motion1, float r2, const matrix44& m2,
                               const vector3& motion2, nCollideReportBuffer* buffer) {
    const vector3 p1 = m1.Translation(), p2 = m2.Translation();
    float t0, t1;
    if (!nCollideContext2::SweepSpheres(p2, r2, motion2, p1, r1, motion1, t0, t1)) return false;
    if (!buffer->WantsReports()) return true;
    if (buffer->IsFull()) return buffer->numReports > 0;
    const vector3 c1 = p1 + motion1 * t0;
    const vector3 c2 = p2 + motion2 * t1;
    vector3 d = c1 - c2;
    float len = d.Len();
    if (len <= 0.0f) {
        d = motion1;
        len = motion1.Len();
    }
    // Coincident centres and no motion: no direction to go by.
    const vector3 n = len > 0.0f ? d / len : vector3(0.0f, 1.0f, 0.0f);
    nCollideReport& r = buffer->reports[buffer->numReports];
    r.normal1 = -n;
    r.normal2 = n;
    r.point1 = c1 - n * r1;
    r.point2 = c2 + n * r2;
    const float gap = len - (r1 + r2);
    const float s = (motion1 + motion2).Len();
    if (gap > s) return false;
    r.depth = s - gap;
    buffer->numReports++;
    return true;
}

bool nXPairTests::SphereBox(float r, const matrix44& sphereMatrix, const vector3& M, const vector3& sides,
                            const matrix44& boxMatrix, const vector3& boxMotion, nCollideReportBuffer* buffer) {
    vector3 corners[8];
    triangle faces[6];
    G::BoxCorners(sides, boxMatrix, &boxMotion, corners);
    G::BoxFaces(corners, faces);
    const vector3 Q = sphereMatrix.Translation();
    const float mlen = M.Len();
    const bool moving = mlen > 0.0f;
    const vector3 Mhat = moving ? M / mlen : vector3();
    const float r2 = r * r;
    const bool exact = buffer->WantsReports();
    vector3 Sn, S1, S2;
    int k = 0;
    for (const triangle& f : faces) {
        const vector3 faceNormal = f.edge1 * f.edge2;
        if (moving && !((faceNormal % Mhat) < 0.0f)) continue;
        vector3 box, sphere;
        const vector3 K = G::ClosestOnFace(f, Q);
        float t;
        int which = 0;
        if ((Q - K) % (Q - K) < r2) {
            which = 1;
            box = K;
        } else if (G::SegmentFace(Q, M, f, faceNormal, t)) {
            which = 2;
            box = Q + M * t;
        } else {
            const vector3 K2 = G::ClosestOnFace(f, Q + M);
            if ((Q + M - K2) % (Q + M - K2) < r2) {
                which = 3;
                box = K2;
            }
        }
        if (!which) continue;
        if (!exact) return true;
        const vector3 n = G::Unit(faceNormal);
        Sn += n;
        S2 += box;
        if (which == 1) {
            sphere = Q + M + G::Unit(S2 - Q) * r;
        } else if (which == 2) {
            sphere = Q - Sn * r;
        } else {
            sphere = Q + G::Unit(S2 - Q) * r;
        }
        S1 += sphere;
        k++;
    }
    if (k == 0) return false;
    if (buffer->IsFull()) return true;
    const float inv = 1.0f / float(k);
    nCollideReport& rep = buffer->reports[buffer->numReports++];
    rep.normal2 = Sn * inv;
    rep.normal1 = -rep.normal2;
    rep.point1 = S1 * inv;
    rep.point2 = S2 * inv;
    rep.depth = (rep.point2 - rep.point1).Len();
    return true;
}

bool nXPairTests::SphereMesh(float r, const matrix44& sphereMatrix, const vector3& M, const nXTriangleShape2* mesh,
                             const matrix44& W, nCollideReportBuffer* buffer) {
    matrix44 inv = W;
    inv.Invert();
    const vector3 Q = inv * sphereMatrix.Translation();
    const vector3 Mm = G::Rotate(inv, M);
    const vector3 Mhat = G::Unit(Mm);
    const float r2 = r * r;
    const bool exact = buffer->WantsReports();
    vector3 Sn, S1, S2;
    int k = 0;
    const int numTriangles = mesh->GetNumTriangles();
    for (int i = 0; i < numTriangles; i++) {
        const triangle& tri = mesh->GetTriangle(i);
        const vector3 n = G::UnitNormal(tri);
        vector3 box, sphere;
        const vector3 K = G::ClosestOnTriangle(tri, Q);
        float t;
        if ((Q - K) % (Q - K) < r2) {
            box = K;
            sphere = Q + Mm - n * r;
        } else {
            const vector3 K2 = G::ClosestOnTriangle(tri, Q + Mm);
            if ((Q + Mm - K2) % (Q + Mm - K2) < r2) {
                box = K2;
                sphere = Q + Mm - n * r;
            } else if (G::SegmentTriangle(Q, Mm, tri, t)) {
                box = Q + Mm * t;
                sphere = Q + Mm + Mhat * r;
            } else {
                continue;
            }
        }
        if (!exact) return true;
        Sn += n;
        S2 += box;
        S1 += sphere;
        k++;
    }
    if (k == 0) return false;
    if (buffer->IsFull()) return true;
    const float f = 1.0f / float(k);
    const vector3 p1 = S1 * f, p2 = S2 * f;
    nCollideReport& rep = buffer->reports[buffer->numReports++];
    rep.point1 = W * p1;
    rep.point2 = W * p2;
    rep.normal2 = G::Rotate(W, Sn * f);
    rep.normal1 = -rep.normal2;
    rep.depth = (p2 - p1).Len();
    return true;
}

namespace {

// Drops edges perpendicular to `dir` (when asked) and turns the others to run along it.
int SelectEdges(const G::Edge in[12], const vector3& dir, bool dropPerpendicular, G::Edge out[12]) {
    int n = 0;
    for (int i = 0; i < 12; i++) {
        const float d = in[i].disp % dir;
        if (dropPerpendicular && d == 0.0f) continue;
        out[n] = in[i];
        if (d < 0.0f) {
            out[n].start = in[i].start + in[i].disp;
            out[n].disp = -in[i].disp;
        }
        n++;
    }
    return n;
}

// A box's twelve edges by coordinate, four to a load.
struct alignas(16) EdgeLanes {
    float sx[12], sy[12], sz[12], dx[12], dy[12], dz[12];
    vector3 Start(int e) const { return vector3(sx[e], sy[e], sz[e]); }
    vector3 Disp(int e) const { return vector3(dx[e], dy[e], dz[e]); }
};

// A box's twelve edges (in BoxEdges' order) straight from its corners, each turned to run
// along `dir`; those perpendicular to it are emptied (zero length, which no face takes)
// when asked, so the others keep their order. Returns how many edges are kept.
#if defined(__SSE2__)
int EdgesAlong(const vector3 c[8], const vector3& dir, bool dropPerpendicular, EdgeLanes& l) {
    // Corners 0-3 and 4-7 as lanes; the edges run 0-1-2-3-0, i to i + 4 and 4-5-6-7-4.
    const __m128 lo[3] = {_mm_setr_ps(c[0].x, c[1].x, c[2].x, c[3].x), _mm_setr_ps(c[0].y, c[1].y, c[2].y, c[3].y),
                          _mm_setr_ps(c[0].z, c[1].z, c[2].z, c[3].z)};
    const __m128 hi[3] = {_mm_setr_ps(c[4].x, c[5].x, c[6].x, c[7].x), _mm_setr_ps(c[4].y, c[5].y, c[6].y, c[7].y),
                          _mm_setr_ps(c[4].z, c[5].z, c[6].z, c[7].z)};
    const __m128 dirs[3] = {_mm_set1_ps(dir.x), _mm_set1_ps(dir.y), _mm_set1_ps(dir.z)};
    const __m128 sign = _mm_set1_ps(-0.0f), zero = _mm_setzero_ps();
    float* starts[3] = {l.sx, l.sy, l.sz};
    float* disps[3] = {l.dx, l.dy, l.dz};
    int dropped = 0;
    for (int g = 0; g < 3; g++) {
        __m128 s[3], d[3];
        for (int k = 0; k < 3; k++) {
            s[k] = g == 2 ? hi[k] : lo[k];
            const __m128 end = g == 0   ? _mm_shuffle_ps(lo[k], lo[k], _MM_SHUFFLE(0, 3, 2, 1))
                               : g == 1 ? hi[k]
                                        : _mm_shuffle_ps(hi[k], hi[k], _MM_SHUFFLE(0, 3, 2, 1));
            d[k] = _mm_sub_ps(end, s[k]);
        }
        const __m128 along = _mm_add_ps(_mm_add_ps(_mm_mul_ps(d[0], dirs[0]), _mm_mul_ps(d[1], dirs[1])),
                                        _mm_mul_ps(d[2], dirs[2]));
        const __m128 back = _mm_cmplt_ps(along, zero);
        const __m128 keep = dropPerpendicular ? _mm_cmpneq_ps(along, zero) : _mm_castsi128_ps(_mm_set1_epi32(-1));
        // Counted by table: without a popcnt target the builtin is a library call.
        static const int kDropped[16] = {4, 3, 3, 2, 3, 2, 2, 1, 3, 2, 2, 1, 2, 1, 1, 0};
        dropped += kDropped[_mm_movemask_ps(keep)];
        for (int k = 0; k < 3; k++) {
            // Turned: start at the end (start + disp, as the edge is stored), run back.
            const __m128 turnedStart = _mm_add_ps(s[k], d[k]);
            const __m128 start = _mm_or_ps(_mm_and_ps(back, turnedStart), _mm_andnot_ps(back, s[k]));
            const __m128 disp = _mm_or_ps(_mm_and_ps(back, _mm_xor_ps(d[k], sign)), _mm_andnot_ps(back, d[k]));
            _mm_store_ps(starts[k] + 4 * g, start);
            _mm_store_ps(disps[k] + 4 * g, _mm_and_ps(keep, disp));
        }
    }
    return 12 - dropped;
}
#else
int EdgesAlong(const vector3 c[8], const vector3& dir, bool dropPerpendicular, EdgeLanes& l) {
    G::Edge edges[12];
    G::BoxEdges(c, edges);
    int kept = 0;
    for (int e = 0; e < 12; e++) {
        const float d = edges[e].disp % dir;
        const bool keep = !(dropPerpendicular && d == 0.0f);
        const vector3 start = d < 0.0f ? edges[e].start + edges[e].disp : edges[e].start;
        const vector3 disp = !keep ? vector3() : (d < 0.0f ? -edges[e].disp : edges[e].disp);
        l.sx[e] = start.x;
        l.sy[e] = start.y;
        l.sz[e] = start.z;
        l.dx[e] = disp.x;
        l.dy[e] = disp.y;
        l.dz[e] = disp.z;
        kept += keep;
    }
    return kept;
}
#endif

// Bit e set for each edge that may cross the prepared face: entering it from the front
// and reaching its plane within (a little more than) its length. A loose, branch-free
// filter; the exact segment test decides.
#if defined(__SSE2__)
// Four lanes at a time, every operation in the order of the scalar form below, so both
// keep the same edges; the compares' bits go straight into the mask.
uint32_t Candidates(const EdgeLanes& l, const G::Prepared& f) {
    const triangle& tri = *f.tri;
    const __m128 px = _mm_set1_ps(tri.point.x), py = _mm_set1_ps(tri.point.y), pz = _mm_set1_ps(tri.point.z);
    const __m128 nx = _mm_set1_ps(f.n.x), ny = _mm_set1_ps(f.n.y), nz = _mm_set1_ps(f.n.z);
    const __m128 ax = _mm_set1_ps(tri.edge1.x), ay = _mm_set1_ps(tri.edge1.y), az = _mm_set1_ps(tri.edge1.z);
    const __m128 bx = _mm_set1_ps(tri.edge2.x), by = _mm_set1_ps(tri.edge2.y), bz = _mm_set1_ps(tri.edge2.z);
    const __m128 e11 = _mm_set1_ps(f.e11), e12 = _mm_set1_ps(f.e12), e22 = _mm_set1_ps(f.e22);
    const __m128 lo = _mm_set1_ps(-0.001f * f.adet), hi = _mm_set1_ps(1.001f * f.adet);
    const __m128 sign = _mm_set1_ps(-0.0f);
    uint32_t mask = 0;
    for (int g = 0; g < 12; g += 4) {
        const __m128 dx = _mm_load_ps(l.dx + g), dy = _mm_load_ps(l.dy + g), dz = _mm_load_ps(l.dz + g);
        const __m128 nd = _mm_add_ps(_mm_add_ps(_mm_mul_ps(nx, dx), _mm_mul_ps(ny, dy)), _mm_mul_ps(nz, dz));
        const __m128 qx = _mm_sub_ps(_mm_load_ps(l.sx + g), px);
        const __m128 qy = _mm_sub_ps(_mm_load_ps(l.sy + g), py);
        const __m128 qz = _mm_sub_ps(_mm_load_ps(l.sz + g), pz);
        const __m128 sn = _mm_add_ps(_mm_add_ps(_mm_mul_ps(nx, qx), _mm_mul_ps(ny, qy)), _mm_mul_ps(nz, qz));
        const __m128 w = _mm_xor_ps(nd, sign);
        const __m128 cx = _mm_add_ps(_mm_mul_ps(qx, w), _mm_mul_ps(dx, sn));
        const __m128 cy = _mm_add_ps(_mm_mul_ps(qy, w), _mm_mul_ps(dy, sn));
        const __m128 cz = _mm_add_ps(_mm_mul_ps(qz, w), _mm_mul_ps(dz, sn));
        const __m128 a = _mm_add_ps(_mm_add_ps(_mm_mul_ps(cx, ax), _mm_mul_ps(cy, ay)), _mm_mul_ps(cz, az));
        const __m128 b = _mm_add_ps(_mm_add_ps(_mm_mul_ps(cx, bx), _mm_mul_ps(cy, by)), _mm_mul_ps(cz, bz));
        const __m128 U = _mm_sub_ps(_mm_mul_ps(a, e22), _mm_mul_ps(b, e12));
        const __m128 V = _mm_sub_ps(_mm_mul_ps(b, e11), _mm_mul_ps(a, e12));
        const __m128 wlo = _mm_mul_ps(w, lo), whi = _mm_mul_ps(w, hi);
        __m128 good = _mm_cmplt_ps(nd, _mm_set1_ps(-0.0001f));
        good = _mm_and_ps(good, _mm_cmpge_ps(sn, _mm_mul_ps(_mm_set1_ps(0.0005f), nd)));
        good = _mm_and_ps(good, _mm_cmple_ps(sn, _mm_mul_ps(_mm_set1_ps(-1.0005f), nd)));
        good = _mm_and_ps(good, _mm_and_ps(_mm_cmpge_ps(U, wlo), _mm_cmple_ps(U, whi)));
        good = _mm_and_ps(good, _mm_and_ps(_mm_cmpge_ps(V, wlo), _mm_cmple_ps(V, whi)));
        mask |= uint32_t(_mm_movemask_ps(good)) << g;
    }
    return mask;
}
#else
uint32_t Candidates(const EdgeLanes& l, const G::Prepared& f) {
    const triangle& tri = *f.tri;
    const float px = tri.point.x, py = tri.point.y, pz = tri.point.z;
    const float nx = f.n.x, ny = f.n.y, nz = f.n.z;
    const float ax = tri.edge1.x, ay = tri.edge1.y, az = tri.edge1.z;
    const float bx = tri.edge2.x, by = tri.edge2.y, bz = tri.edge2.z;
    const float e11 = f.e11, e12 = f.e12, e22 = f.e22;
    const float lo = -0.001f * f.adet, hi = 1.001f * f.adet;
    float ok[12];
    for (int e = 0; e < 12; e++) {
        const float nd = nx * l.dx[e] + ny * l.dy[e] + nz * l.dz[e];
        const float qx = l.sx[e] - px, qy = l.sy[e] - py, qz = l.sz[e] - pz;
        const float sn = nx * qx + ny * qy + nz * qz;
        const float w = -nd;  // the crossing scaled by -nd, no division
        const float cx = qx * w + l.dx[e] * sn, cy = qy * w + l.dy[e] * sn, cz = qz * w + l.dz[e] * sn;
        const float a = cx * ax + cy * ay + cz * az;
        const float b = cx * bx + cy * by + cz * bz;
        const float U = a * e22 - b * e12, V = b * e11 - a * e12;
        const float wlo = w * lo, whi = w * hi;
        const bool good = (nd < -0.0001f) & (sn >= 0.0005f * nd) & (sn <= -1.0005f * nd) & (U >= wlo) & (U <= whi) &
                          (V >= wlo) & (V <= whi);
        ok[e] = good ? 1.0f : 0.0f;
    }
    uint32_t mask = 0;
    for (int e = 0; e < 12; e++) mask |= uint32_t(ok[e] != 0.0f) << e;
    return mask;
}
#endif

}  // namespace

bool nXPairTests::BoxBox(const vector3& sidesA, const matrix44& matrixA, const vector3& M, const vector3& sidesB,
                         const matrix44& matrixB, nCollideReportBuffer* buffer) {
    vector3 cornersA[8], cornersB[8];
    triangle facesA[6], facesB[6];
    G::BoxCorners(sidesA, matrixA, &M, cornersA);
    G::BoxCorners(sidesB, matrixB, nullptr, cornersB);
    G::BoxFaces(cornersA, facesA);
    G::BoxFaces(cornersB, facesB);
    const bool exact = buffer->WantsReports();
    const int first = buffer->numReports;

    // Pass 0: A's edges (over its motion) into B's faces.
    // The face of A whose plane pass 1 measures against, chosen in pass 0.
    int referenceFace = -1;
    float best = 0.0f;
    EdgeLanes lanes;
    const int numSel = EdgesAlong(cornersA, M, true, lanes);
    for (int f = 0; f < 6 && numSel > 0; f++) {
        const triangle& face = facesB[f];
        const vector3 n = face.edge1 * face.edge2;
        const float facing = n % M;
        if (facing > best) {
            best = facing;
            referenceFace = f;
        }
        if (!(facing <= 0.0f)) continue;
        G::Prepared prep;
        G::Prepare(face, prep);
        bool havePlane = false;
        vector3 N;
        G::Plane inward;
        for (uint32_t mask = Candidates(lanes, prep); mask; mask &= mask - 1) {
            const int e = __builtin_ctz(mask);
            const vector3 start = lanes.Start(e), disp = lanes.Disp(e);
            float t;
            if (!G::SegmentFace(start, disp, prep, t)) continue;
            if (!exact) return true;
            if (buffer->IsFull()) return true;
            if (!havePlane) {
                N = G::Unit(n);
                inward = G::PlaneFrom(face.point, face.point + face.edge2, face.point + face.edge1);
                havePlane = true;
            }
            nCollideReport& r = buffer->reports[buffer->numReports];
            r.normal1 = -N;
            r.normal2 = N;
            r.point1 = start + disp;
            r.point2 = start + disp * t;
            r.depth = inward.Value(r.point1);
            if (r.depth > 0.0f) buffer->numReports++;
        }
    }
    // Pass 1: B's edges into A's faces, measured against the plane pass 0 chose. A call
    // that chose none has nothing to measure against and stops here.
    if (buffer->numReports - first < 4 && referenceFace >= 0) {
        const triangle& fa = facesA[referenceFace];
        const G::Plane reference = G::PlaneFrom(fa.point, fa.point + fa.edge2, fa.point + fa.edge1);
        const vector3 m1 = -M;
        EdgesAlong(cornersB, m1, false, lanes);
        for (int f = 0; f < 6; f++) {
            const triangle& face = facesA[f];
            if (!(((face.edge1 * face.edge2) % m1) <= 0.0f)) continue;
            G::Prepared prep;
            G::Prepare(face, prep);
            for (uint32_t mask = Candidates(lanes, prep); mask; mask &= mask - 1) {
                const int e = __builtin_ctz(mask);
                const vector3 start = lanes.Start(e), disp = lanes.Disp(e);
                float t;
                if (!G::SegmentFace(start, disp, prep, t)) continue;
                if (!exact) return true;
                if (buffer->IsFull()) return true;
                nCollideReport& r = buffer->reports[buffer->numReports];
                r.normal1 = reference.normal;
                r.normal2 = -reference.normal;
                r.point1 = start + disp * t;
                r.depth = reference.Value(r.point1);
                if (r.depth > 0.0f) {
                    r.point2 = r.point1 - reference.normal * r.depth;
                    buffer->numReports++;
                }
            }
        }
    }
    return buffer->numReports > first;
}

bool nXPairTests::BoxMesh(const vector3& sides, const matrix44& boxMatrix, const vector3& M,
                          const nXTriangleShape2* mesh, const matrix44& W, nCollideReportBuffer* buffer) {
    matrix44 inv = W;
    inv.Invert();
    const matrix44 inMesh = boxMatrix * inv;
    // The motion in the mesh's frame serves for stretching and for facing alike.
    const vector3 m = G::Rotate(inv, M);
    vector3 corners[8];
    G::Edge edges[12], selected[12];
    G::BoxCorners(sides, inMesh, &m, corners);
    G::BoxEdges(corners, edges);
    const int numSel = SelectEdges(edges, m, true, selected);
    const bool exact = buffer->WantsReports();
    const int first = buffer->numReports;
    const int numTriangles = mesh->GetNumTriangles();
    for (int i = 0; i < numTriangles; i++) {
        const triangle& tri = mesh->GetTriangle(i);
        if (!(((tri.edge1 * tri.edge2) % m) <= 0.0f)) continue;
        for (int e = 0; e < numSel; e++) {
            float t;
            if (!G::SegmentTriangle(selected[e].start, selected[e].disp, tri, t)) continue;
            if (!exact) return true;
            if (buffer->IsFull()) return true;
            const vector3 end = selected[e].start + selected[e].disp;
            nCollideReport& r = buffer->reports[buffer->numReports];
            r.normal1 = G::Unit(G::Rotate(W, selected[e].disp));
            r.normal2 = G::Rotate(W, G::UnitNormal(tri));
            r.point1 = W * end;
            r.point2 = W * (selected[e].start + selected[e].disp * t);
            r.depth = G::PlaneFrom(tri.point, tri.point + tri.edge2, tri.point + tri.edge1).Value(end);
            if (r.depth > 0.0f) buffer->numReports++;
        }
    }
    return buffer->numReports != first;
}
