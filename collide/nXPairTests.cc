#include "collide/nXPairTests.h"

#include <cstdint>

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

// Bit e set for each edge that may cross the prepared face: entering it from the front
// and reaching its plane within (a little more than) its length. A loose, branch-free
// filter; the exact segment test decides.
struct EdgeLanes {
    float sx[12], sy[12], sz[12], dx[12], dy[12], dz[12];
};

void ToLanes(const G::Edge* edges, int n, EdgeLanes& l) {
    for (int e = 0; e < 12; e++) {
        const bool real = e < n;
        const G::Edge& g = edges[real ? e : 0];
        l.sx[e] = g.start.x;
        l.sy[e] = g.start.y;
        l.sz[e] = g.start.z;
        l.dx[e] = real ? g.disp.x : 0.0f;
        l.dy[e] = real ? g.disp.y : 0.0f;
        l.dz[e] = real ? g.disp.z : 0.0f;
    }
}

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

}  // namespace

bool nXPairTests::BoxBox(const vector3& sidesA, const matrix44& matrixA, const vector3& M, const vector3& sidesB,
                         const matrix44& matrixB, nCollideReportBuffer* buffer) {
    vector3 cornersA[8], cornersB[8];
    G::Edge edgesA[12], edgesB[12], selected[12];
    triangle facesA[6], facesB[6];
    G::BoxCorners(sidesA, matrixA, &M, cornersA);
    G::BoxCorners(sidesB, matrixB, nullptr, cornersB);
    G::BoxEdges(cornersA, edgesA);
    G::BoxEdges(cornersB, edgesB);
    G::BoxFaces(cornersA, facesA);
    G::BoxFaces(cornersB, facesB);
    const bool exact = buffer->WantsReports();
    const int first = buffer->numReports;

    // Pass 0: A's edges (over its motion) into B's faces.
    // The face of A whose plane pass 1 measures against, chosen in pass 0.
    int referenceFace = -1;
    float best = 0.0f;
    int numSel = SelectEdges(edgesA, M, true, selected);
    EdgeLanes lanes;
    ToLanes(selected, numSel, lanes);
    for (int f = 0; f < 6 && numSel > 0; f++) {
        const triangle& face = facesB[f];
        G::Prepared prep;
        G::Prepare(face, prep);
        const vector3& n = prep.n;
        const float facing = n % M;
        if (facing > best) {
            best = facing;
            referenceFace = f;
        }
        if (!(facing <= 0.0f)) continue;
        bool havePlane = false;
        vector3 N;
        G::Plane inward;
        for (uint32_t mask = Candidates(lanes, prep); mask; mask &= mask - 1) {
            const int e = __builtin_ctz(mask);
            float t;
            if (!G::SegmentFace(selected[e].start, selected[e].disp, prep, t)) continue;
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
            r.point1 = selected[e].start + selected[e].disp;
            r.point2 = selected[e].start + selected[e].disp * t;
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
        numSel = SelectEdges(edgesB, m1, false, selected);
        ToLanes(selected, numSel, lanes);
        for (int f = 0; f < 6; f++) {
            const triangle& face = facesA[f];
            G::Prepared prep;
            G::Prepare(face, prep);
            if (!((prep.n % m1) <= 0.0f)) continue;
            for (uint32_t mask = Candidates(lanes, prep); mask; mask &= mask - 1) {
                const int e = __builtin_ctz(mask);
                float t;
                if (!G::SegmentFace(selected[e].start, selected[e].disp, prep, t)) continue;
                if (!exact) return true;
                if (buffer->IsFull()) return true;
                nCollideReport& r = buffer->reports[buffer->numReports];
                r.normal1 = reference.normal;
                r.normal2 = -reference.normal;
                r.point1 = selected[e].start + selected[e].disp * t;
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
