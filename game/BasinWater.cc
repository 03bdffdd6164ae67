#include "game/BasinWater.h"

#include <algorithm>
#include <cmath>

#include "kernel/matrix44.h"
#include "platform/meshquery/MeshQuery.h"

namespace {

// Six ways out, each a little off the axes, so that no ray runs along a wall's seam or
// through the shared edge of two triangles.
const vector3 Ways[6] = {vector3(0.013f, 1.0f, 0.007f),  vector3(-0.011f, -1.0f, 0.017f),
                         vector3(1.0f, 0.009f, 0.014f),  vector3(-1.0f, 0.016f, -0.008f),
                         vector3(0.012f, -0.006f, 1.0f), vector3(-0.015f, 0.01f, -1.0f)};

vector3 Clamped(const vector3& p, const float lo[3], const float hi[3]) {
    return vector3(std::clamp(p.x, lo[0], hi[0]), std::clamp(p.y, lo[1], hi[1]), std::clamp(p.z, lo[2], hi[2]));
}

}  // namespace

int BasinWater::AddThing(const std::string& name) {
    things_.push_back({name, {}, {}, true});
    return int(things_.size()) - 1;
}

void BasinWater::AddTriangle(const vector3& a, const vector3& b, const vector3& c, int thing) {
    std::vector<vector3>& to = thing >= 0 && thing < GetNumThings() ? things_[size_t(thing)].corners : corners_;
    to.push_back(a);
    to.push_back(b);
    to.push_back(c);
}

namespace {

bool BuildMesh(meshquery::TriMesh& mesh, std::vector<vector3>& corners) {
    const int n = int(corners.size() / 3);
    if (!mesh.Begin(3 * n, n)) return false;
    for (int i = 0; i < 3 * n; i++) mesh.SetVertex(i, corners[size_t(i)]);
    for (int t = 0; t < n; t++) mesh.SetTriangle(t, uint32_t(3 * t), uint32_t(3 * t + 1), uint32_t(3 * t + 2));
    std::vector<vector3>().swap(corners);
    return mesh.Build();
}

}  // namespace

bool BasinWater::Build() {
    if (!BuildMesh(solids_, corners_)) return false;
    for (Thing& t : things_) {
        if (!BuildMesh(t.mesh, t.corners)) return false;
    }
    return IsBuilt();
}

bool BasinWater::MetFromBehind(const meshquery::TriMesh& mesh, const vector3& p, const vector3& way, bool& met) {
    meshquery::RaySettings settings;
    settings.cull = false;
    thread_local std::vector<meshquery::StabbedFace> faces;
    met = meshquery::RayStab(mesh, matrix44(), p, way, settings, &faces);
    if (!met) return false;
    const meshquery::StabbedFace* first = &faces[0];
    for (const meshquery::StabbedFace& f : faces) {
        if (f.distance < first->distance) first = &f;
    }
    vector3 a, b, c;
    mesh.GetTriangle(int(first->face), a, b, c);
    return ((b - a) * (c - a)) % way >= 0.0f;
}

bool BasinWater::InWater(const vector3& p) const {
    if (!IsBuilt()) return false;
    for (vector3 way : Ways) {
        way.Norm();
        bool met = false;
        // A way that meets nothing leaves the basin; one that meets a face from behind
        // starts inside a solid.
        if (MetFromBehind(solids_, p, way, met) || !met) return false;
    }
    return true;
}

bool BasinWater::Inside(const meshquery::TriMesh& mesh, const vector3& p) {
    if (mesh.GetNumTriangles() == 0) return false;
    bool met = false;
    vector3 up = Ways[0];
    up.Norm();
    return MetFromBehind(mesh, p, up, met);
}

std::string BasinWater::Lies(const vector3& p, float radius) const {
    if (!InWater(p)) return "outside the level's water or inside a solid";
    for (const Thing& t : things_) {
        if (t.standing && Inside(t.mesh, p)) return "inside '" + t.name + "', which stands there";
    }
    for (const vector3& b : bodies_) {
        if ((p - b).Len() < radius) return "inside another body's room";
    }
    return {};
}

bool BasinWater::Free(const vector3& p, float radius) const {
    if (!InWater(p) || meshquery::SphereTouched(solids_, matrix44(), p, radius, true, nullptr)) return false;
    for (const Thing& t : things_) {
        if (t.standing && t.mesh.GetNumTriangles() > 0 &&
            (Inside(t.mesh, p) || meshquery::SphereTouched(t.mesh, matrix44(), p, radius, true, nullptr))) {
            return false;
        }
    }
    // Clear of the other bodies' room, which is as big as its own.
    for (const vector3& b : bodies_) {
        if ((p - b).Len() < 2.0f * radius) return false;
    }
    return true;
}

bool BasinWater::NearestFree(const vector3& p, float radius, const float lo[3], const float hi[3],
                             vector3& out) const {
    if (!IsBuilt()) return false;
    const vector3 from = Clamped(p, lo, hi);
    if (Free(from, radius)) {
        out = from;
        return true;
    }
    // Shells round the place, finer near it; the way of each shell that finds room first is
    // then followed back to where the room starts.
    std::vector<vector3> ways;
    for (int x = -1; x <= 1; x++)
        for (int y = -1; y <= 1; y++)
            for (int z = -1; z <= 1; z++) {
                if (x || y || z) {
                    vector3 w{float(x), float(y), float(z)};
                    w.Norm();
                    ways.push_back(w);
                }
            }
    float reach = 0.0f;
    for (int i = 0; i < 3; i++) reach = std::max(reach, hi[i] - lo[i]);
    float inner = 0.0f;
    for (float d = 0.25f; d <= reach + 0.25f; d += std::max(0.25f, 0.1f * d)) {
        const vector3* best = nullptr;
        float bestDist = 0.0f;
        for (const vector3& w : ways) {
            const vector3 c = Clamped(from + w * d, lo, hi);
            if (!Free(c, radius)) continue;
            const float dist = (c - from).Len();
            if (!best || dist < bestDist) {
                best = &w;
                bestDist = dist;
            }
        }
        if (best) {
            float in = inner, at = d;
            for (int k = 0; k < 12; k++) {
                const float mid = 0.5f * (in + at);
                if (Free(Clamped(from + *best * mid, lo, hi), radius)) at = mid;
                else in = mid;
            }
            out = Clamped(from + *best * at, lo, hi);
            // Far off, the shells' ways are coarse: step along the free places towards the
            // place while that brings it nearer, with ever shorter steps.
            float dist = (out - from).Len();
            for (float step = 0.25f * dist; step > 0.005f;) {
                bool nearer = false;
                for (const vector3& w : ways) {
                    const vector3 c = Clamped(out + w * step, lo, hi);
                    const float cd = (c - from).Len();
                    if (cd < dist && Free(c, radius)) {
                        out = c;
                        dist = cd;
                        nearer = true;
                    }
                }
                if (!nearer) step *= 0.5f;
            }
            return true;
        }
        inner = d;
    }
    return false;
}
