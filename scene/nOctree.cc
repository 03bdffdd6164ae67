#include "scene/nOctree.h"

#include <algorithm>
#include <cmath>

#include "gfx/nGfxServer.h"
#include "gfx/nIndexBuffer.h"
#include "gfx/nRenderState.h"
#include "kernel/nKernelServer.h"
#include "kernel/nPersistServer.h"
#include "scene/Frustum.h"

namespace {

const nCmdDef<nOctree> cmds[] = {
    Bind<&nOctree::SetSubdivNum>("v_setsubdivnum_i", "SSDN"),
    Bind<&nOctree::GetSubdivNum>("i_getsubdivnum_v", "GSDN"),
    Bind<&nOctree::SetVisualize>("v_setvisualize_b", "SVIS"),
    Bind<&nOctree::GetVisualize>("b_getvisualize_v", "GVIS"),
};

// 0 is stored as 1. A negative size is taken as its magnitude: an inverted box would
// land in some arbitrary node and escape the frustum query.
float storedRadius(float r) {
    if (r == 0.0f) return 1.0f;
    return r < 0.0f ? -r : r;
}

}  // namespace

const nClassInfo nOctree::classInfo = nClassInfo::Make<nOctree>("noctree", "nroot", cmds);

nOctElement::~nOctElement() {
    if (tree) tree->RemoveElement(this);
}

nOctree::nOctree() {
    pool_[0].centre = vector3(0.0f, 0.0f, 0.0f);
    pool_[0].extent = RootExtent;
    // The free list runs through the parent field in pool order.
    for (int i = 1; i < PoolSize; i++) pool_[i].parent = int16_t(i + 1 < PoolSize ? i + 1 : -1);
    freeList_ = 1;
    numFree_ = PoolSize - 1;
}

nOctree::~nOctree() {
    for (nOctNode& n : pool_) {
        while (nNode* link = n.elements.RemHead()) {
            auto* e = static_cast<nOctElement*>(link->GetPtr());
            e->nodeIndex = -1;
            e->tree = nullptr;
        }
    }
}

bool nOctree::SaveCmds(nPersistServer* ps) {
    if (!nRoot::SaveCmds(ps)) return false;
    return ps->Put(this, nId("SSDN"), subdivNum_) && ps->Put(this, nId("SVIS"), visualize_);
}

bool nOctree::contains(const nOctNode& n, const nOctElement* e) {
    const float r = e->radius, x = n.extent;
    const vector3& p = e->position;
    const vector3& c = n.centre;
    return p.x - r >= c.x - x && p.x + r <= c.x + x && p.y - r >= c.y - x && p.y + r <= c.y + x &&
           p.z - r >= c.z - x && p.z + r <= c.z + x;
}

int nOctree::descend(int node, const nOctElement* e) const {
    for (;;) {
        const nOctNode& n = pool_[node];
        if (n.IsLeaf()) return node;
        int next = -1;
        for (int16_t child : n.children) {
            if (contains(pool_[child], e)) {
                next = child;
                break;
            }
        }
        if (next < 0) return node;
        node = next;
    }
}

void nOctree::addToNode(int node, nOctElement* e) {
    nOctNode& n = pool_[node];
    n.numElements++;
    for (int i = node; i >= 0; i = pool_[i].parent) pool_[i].subtreeCount++;
    e->nodeIndex = int16_t(node);
    e->tree = this;
    n.elements.AddTail(&e->node_);
    packs_[node].dirty = true;
}

void nOctree::removeFromNode(nOctElement* e) {
    const int node = e->nodeIndex;
    pool_[node].numElements--;
    for (int i = node; i >= 0; i = pool_[i].parent) pool_[i].subtreeCount--;
    e->nodeIndex = -1;
    e->tree = nullptr;
    e->node_.Remove();
    packs_[node].dirty = true;
}

void nOctree::AddElement(nOctElement* e, const vector3& pos, float radius) {
    if (!e) return;
    if (e->tree) {
        UpdateElement(e, pos, radius);
        return;
    }
    e->position = pos;
    e->radius = storedRadius(radius);
    addToNode(descend(0, e), e);
}

void nOctree::AddElement(nOctElement* e) {
    if (e) AddElement(e, e->position, e->radius);
}

void nOctree::UpdateElement(nOctElement* e, const vector3& pos, float radius) {
    if (!e) return;
    if (e->tree && e->tree != this) e->tree->RemoveElement(e);
    if (e->tree != this) {
        AddElement(e, pos, radius);
        return;
    }
    e->position = pos;
    e->radius = storedRadius(radius);
    packs_[e->nodeIndex].dirty = true;
    int start = e->nodeIndex;
    while (start > 0 && !contains(pool_[start], e)) start = pool_[start].parent;
    if (start < 0) start = 0;
    const int node = descend(start, e);
    if (node == e->nodeIndex) return;
    removeFromNode(e);
    addToNode(node, e);
}

void nOctree::RemoveElement(nOctElement* e) {
    if (e && e->tree == this && e->IsInTree()) removeFromNode(e);
}

void nOctree::split(int node) {
    if (numFree_ < 8) return;
    packs_[node].dirty = true;
    nOctNode& n = pool_[node];
    const float quarter = n.extent * 0.25f;
    for (int i = 0; i < 8; i++) {
        const int16_t c = freeList_;
        nOctNode& child = pool_[c];
        freeList_ = child.parent;
        numFree_--;
        child.parent = int16_t(node);
        for (int16_t& g : child.children) g = -1;
        child.extent = n.extent * 0.5f;
        child.centre = vector3(n.centre.x + ((i & 1) ? -quarter : quarter), n.centre.y + ((i & 2) ? -quarter : quarter),
                               n.centre.z + ((i & 4) ? -quarter : quarter));
        child.numElements = 0;
        child.subtreeCount = 0;
        packs_[c].dirty = true;
        n.children[i] = c;
    }
    // Elements that fit no child stay; the node's subtree count does not change.
    nNode* link = n.elements.GetHead();
    while (link) {
        nNode* next = link->GetSucc();
        auto* e = static_cast<nOctElement*>(link->GetPtr());
        for (int16_t c : n.children) {
            nOctNode& child = pool_[c];
            if (!contains(child, e)) continue;
            n.numElements--;
            child.numElements++;
            child.subtreeCount++;
            e->nodeIndex = c;
            child.elements.AddTail(&e->node_);
            break;
        }
        link = next;
    }
}

void nOctree::collapse(int node) {
    nOctNode& n = pool_[node];
    if (n.IsLeaf()) return;
    packs_[node].dirty = true;
    for (int16_t& c : n.children) {
        collapse(c);
        nOctNode& child = pool_[c];
        while (nNode* link = child.elements.RemHead()) {
            auto* e = static_cast<nOctElement*>(link->GetPtr());
            e->nodeIndex = int16_t(node);
            n.elements.AddTail(link);
            n.numElements++;
        }
        child.numElements = 0;
        child.subtreeCount = 0;
        child.parent = freeList_;
        freeList_ = c;
        numFree_++;
        c = -1;
    }
}

void nOctree::balance(int node) {
    nOctNode& n = pool_[node];
    if (!n.IsLeaf() && n.subtreeCount <= subdivNum_) collapse(node);
    if (n.IsLeaf() && n.numElements > subdivNum_) split(node);
    if (n.IsLeaf()) return;
    for (int16_t c : n.children) balance(c);
}

void nOctree::Balance() {
    balance(0);
}

namespace {

// A 10-bit grid position along one axis of the box lo..lo + size; NaN and values
// outside fall to the ends.
uint32_t gridCell(float v, float lo, float size) {
    const float f = (v - lo) / size;
    if (!(f > 0.0f)) return 0;
    return f < 1.0f ? uint32_t(f * 1023.0f) : 1023u;
}

// Interleaves the bits of three 10-bit numbers (a Morton code), so that elements near
// each other in space lie near each other in the packed copy.
uint32_t spread(uint32_t v) {
    v = (v | v << 16) & 0x030000FFu;
    v = (v | v << 8) & 0x0300F00Fu;
    v = (v | v << 4) & 0x030C30C3u;
    return (v | v << 2) & 0x09249249u;
}

}  // namespace

void nOctree::pack(int node) {
    const nOctNode& n = pool_[node];
    NodePack& pk = packs_[node];
    pk.own.clear();
    pk.chunks.clear();
    pk.dirty = false;
    const float lo = -n.extent, size = 2.0f * n.extent;
    for (nNode* link = n.elements.GetHead(); link; link = link->GetSucc()) {
        auto* e = static_cast<nOctElement*>(link->GetPtr());
        const vector3& p = e->position;
        const uint32_t key = spread(gridCell(p.x - n.centre.x, lo, size)) |
                             spread(gridCell(p.y - n.centre.y, lo, size)) << 1 |
                             spread(gridCell(p.z - n.centre.z, lo, size)) << 2;
        pk.own.push_back(Packed{p, e->radius, e, key});
    }
    std::sort(pk.own.begin(), pk.own.end(), [](const Packed& a, const Packed& b) { return a.key < b.key; });
    const int count = int(pk.own.size());
    for (int i = 0; i < count; i += ChunkSize) {
        const int end = std::min(i + ChunkSize, count);
        vector3 lo3 = pk.own[size_t(i)].position, hi3 = lo3;
        for (int k = i; k < end; k++) {
            const Packed& q = pk.own[size_t(k)];
            lo3.x = std::min(lo3.x, q.position.x - q.radius), hi3.x = std::max(hi3.x, q.position.x + q.radius);
            lo3.y = std::min(lo3.y, q.position.y - q.radius), hi3.y = std::max(hi3.y, q.position.y + q.radius);
            lo3.z = std::min(lo3.z, q.position.z - q.radius), hi3.z = std::max(hi3.z, q.position.z + q.radius);
            // NaN takes no part in min and max: such a chunk is tested element by
            // element.
            if (!(q.position.x == q.position.x && q.position.y == q.position.y && q.position.z == q.position.z &&
                  q.radius == q.radius))
                lo3.x = hi3.x = std::nanf("");
        }
        pk.chunks.push_back(Chunk{(lo3 + hi3) * 0.5f, (hi3 - lo3) * 0.5f, i, end});
    }
}

void nOctree::appendAll(int node, std::vector<nOctElement*>& out) {
    if (packs_[node].dirty) pack(node);
    for (const Packed& q : packs_[node].own) out.push_back(q.element);
    const nOctNode& n = pool_[node];
    if (n.IsLeaf()) return;
    for (int16_t c : n.children)
        if (pool_[c].subtreeCount > 0) appendAll(c, out);
}

// Every element of a node below the root lies inside the node's box, so a box outside
// a plane rules out its elements and a box inside a plane needs that plane no more. The
// root also keeps what fits nowhere, even outside its box, so a node's own elements are
// judged by their chunks' boxes only.
void nOctree::collect(int node, const Frustum& f, unsigned mask, std::vector<nOctElement*>& out) {
    if (packs_[node].dirty) pack(node);
    const NodePack& pk = packs_[node];
    for (const Chunk& ch : pk.chunks) {
        unsigned planes = 0;
        switch (f.ClassifyBox(ch.centre, ch.half, mask, planes)) {
            case Frustum::Outside: break;
            case Frustum::Inside:
                for (int i = ch.begin; i < ch.end; i++) out.push_back(pk.own[size_t(i)].element);
                break;
            default:
                for (int i = ch.begin; i < ch.end; i++) {
                    const Packed& q = pk.own[size_t(i)];
                    if (f.SphereMeets(q.position, q.radius, planes)) out.push_back(q.element);
                }
                break;
        }
    }
    const nOctNode& n = pool_[node];
    if (n.IsLeaf()) return;
    for (int16_t c : n.children) {
        const nOctNode& child = pool_[c];
        if (child.subtreeCount == 0) continue;
        unsigned planes = 0;
        const vector3 half(child.extent, child.extent, child.extent);
        switch (f.ClassifyBox(child.centre, half, mask, planes)) {
            case Frustum::Outside: break;
            case Frustum::Inside: appendAll(c, out); break;
            default: collect(c, f, planes, out); break;
        }
    }
}

void nOctree::CollectVisible(const Frustum& frustum, std::vector<nOctElement*>& out) {
    collect(0, frustum, (1u << Frustum::NumPlanes) - 1, out);
}

namespace {

void drawBox(nGfxServer* gfx, const vector3& c, float ex, float ey, float ez) {
    // The 12 edges: 4 along each axis.
    for (int axis = 0; axis < 3; axis++) {
        for (int k = 0; k < 4; k++) {
            const float s = (k & 1) ? 1.0f : -1.0f, t = (k & 2) ? 1.0f : -1.0f;
            vector3 a, b;
            if (axis == 0) a = b = vector3(0.0f, s * ey, t * ez), a.x = -ex, b.x = ex;
            if (axis == 1) a = b = vector3(s * ex, 0.0f, t * ez), a.y = -ey, b.y = ey;
            if (axis == 2) a = b = vector3(s * ex, t * ey, 0.0f), a.z = -ez, b.z = ez;
            gfx->Coord(c.x + a.x, c.y + a.y, c.z + a.z);
            gfx->Coord(c.x + b.x, c.y + b.y, c.z + b.z);
        }
    }
}

}  // namespace

void nOctree::drawNode(nGfxServer* gfx, const nOctNode& n) const {
    gfx->Rgba(0.0f, 0.7f, 0.0f, 1.0f);
    drawBox(gfx, n.centre, n.extent, n.extent, n.extent);
    if (!n.elements.IsEmpty()) {
        gfx->Rgba(0.7f, 0.7f, 0.0f, 1.0f);
        for (nNode* link = n.elements.GetHead(); link; link = link->GetSucc()) {
            auto* e = static_cast<const nOctElement*>(link->GetPtr());
            drawBox(gfx, e->position, e->radius, e->radius, e->radius);
        }
    }
    if (n.IsLeaf()) return;
    for (int16_t c : n.children) drawNode(gfx, pool_[c]);
}

void nOctree::Visualize(nGfxServer* gfx) const {
    if (!visualize_ || !gfx) return;
    nRenderState rs;
    rs.state = 15;
    rs.value.i = 0;
    gfx->SetRenderState(rs);
    matrix44 view = gfx->GetMatrix(nGfxServer::VIEWER);
    view.Invert();
    gfx->SetMatrix(nGfxServer::MODELVIEW, view);
    gfx->Begin(nIndexBuffer::LINELIST);
    drawNode(gfx, pool_[0]);
    gfx->End();
    rs.value.i = 1;
    gfx->SetRenderState(rs);
}
