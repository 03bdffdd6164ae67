#pragma once
// A kernel with the script, graphics and collide classes, a Lua server, a collide
// server at "/sys/servers/collide2", a graphics server that records what is drawn, and
// test shapes that stand in for the exact ones.
#include <array>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "collide/nCollideContext2.h"
#include "collide/nCollideObject2.h"
#include "collide/nCollidePackage.h"
#include "collide/nCollideReportBuffer.h"
#include "collide/nCollideServer2.h"
#include "collide/nCollideShape2.h"
#include "gfx/nGfxPackage.h"
#include "gfx/nGfxServer.h"
#include "tests/script/script_fixture.h"

// Keeps every primitive drawn: its kind, the model matrix at Begin, each vertex with the
// colour it was given, and the colour current at End.
class nRecordGfx : public nGfxServer {
public:
    static const nClassInfo classInfo;
    struct Prim {
        int kind = -1;
        matrix44 model;
        std::vector<vector3> coords;
        std::vector<std::array<float, 4>> colors;
        std::array<float, 4> endColor{};
    };
    void Begin(int kind) override {
        prims.push_back(Prim());
        prims.back().kind = kind;
        prims.back().model = GetMatrix(MODELVIEW);
    }
    void Coord(float x, float y, float z) override {
        prims.back().coords.push_back(vector3(x, y, z));
        prims.back().colors.push_back(color);
    }
    void Rgba(float r, float g, float b, float a) override { color = {r, g, b, a}; }
    void End() override { prims.back().endColor = color; }
    std::vector<Prim> prims;
    std::array<float, 4> color{};
};
inline const nClassInfo nRecordGfx::classInfo = nClassInfo::Make<nRecordGfx>("nrecordgfx", "ngfxserver");

// An exact shape for the context's tests: its type id is chosen, its pair test writes
// `reports` reports (or answers `hit` for "contact"), its line check writes the given
// hits. Every call is logged with the context it came from.
class nTestShape : public nCollideShape2 {
public:
    static const nClassInfo classInfo;
    int GetType() const override { return type; }
    bool Collide(const matrix44&, nCollideShape2*, const matrix44&, nCollideReportBuffer* buf, const vector3&,
                 const vector3&) override {
        calls.push_back(buf->owner->GetName());
        if (!hit) return false;
        if (!buf->WantsReports()) return true;
        for (int i = 0; i < reports && !buf->IsFull(); i++) {
            nCollideReport& r = buf->reports[buf->numReports++];
            r.point1 = vector3(float(i), 0, 0);
            r.point2 = vector3(float(i), 1, 0);
            r.normal1 = vector3(0, -1, 0);
            r.normal2 = vector3(0, 1, 0);
            r.depth = 0.5f;
        }
        return buf->numReports > 0;
    }
    bool LineCheck(const matrix44& m, const line3&, nCollideReportBuffer* buf, const vector3&) override {
        if (lineHits.empty()) return false;
        if (!buf->WantsReports()) return true;
        for (const vector3& p : lineHits) {
            nCollideLineHit& h = buf->lineHits[buf->numLineHits++];
            h.position = m * p;
            h.normal = vector3(0, 1, 0);
            h.value = 1.0f;
        }
        return true;
    }
    int type = BOX;
    bool hit = true;
    int reports = 1;
    std::vector<vector3> lineHits;
    static inline std::vector<std::string> calls;
};
inline const nClassInfo nTestShape::classInfo = nClassInfo::Make<nTestShape>("ntestshape", "ncollideshape2");

class CollideFixture : public nScriptFixture {
protected:
    void SetUp() override {
        nScriptFixture::SetUp();
        nGfxPackage(kernel);
        nCollidePackage(kernel);
        kernel->AddClass(nRecordGfx::classInfo);
        kernel->AddClass(nTestShape::classInfo);
        collide = static_cast<nCollideServer2*>(kernel->New(ServerClass(), "/sys/servers/collide2"));
        nTestShape::calls.clear();
    }
    virtual const char* ServerClass() const { return "ncollideserver2"; }

    nRecordGfx* Gfx() { return static_cast<nRecordGfx*>(kernel->New("nrecordgfx", "/sys/servers/gfx")); }

    // A test shape under the shapes root, its radius set.
    nTestShape* TestShape(const char* name, float radius, int type = nCollideShape2::BOX) {
        auto* s = static_cast<nTestShape*>(kernel->New("ntestshape", (std::string("/sys/share/collideshapes/") + name).c_str()));
        s->SetRadius(radius);
        s->type = type;
        return s;
    }

    // Places an object at `pos`, moving by `motion`, and registers it.
    static void Place(nCollideContext2* ctx, nCollideObject2& obj, nCollideShape2* shape, int cls, const vector3& pos,
                      bool dynamic = true, const vector3& motion = vector3(), void* owner = nullptr) {
        obj.shape = shape;
        obj.classIndex = cls;
        obj.prevMatrix.Ident();
        obj.prevMatrix.SetTranslation(pos);
        obj.curMatrix = obj.prevMatrix;
        obj.curMatrix.SetTranslation(pos + motion);
        obj.motion = motion;
        obj.dynamic = dynamic;
        obj.owner = static_cast<nLogicNode*>(owner ? owner : &obj);
        obj.ClearCounts();
        ctx->AddObject(&obj);
    }

    // Two classes "a" and "b" with the pair type between them.
    void TwoClasses(nCollType ab, nCollType aa = COLLTYPE_IGNORE) {
        collide->BeginCollClasses();
        collide->AddCollClass("a");
        collide->AddCollClass("b");
        collide->EndCollClasses();
        collide->BeginCollTypes();
        collide->AddCollType("a", "b", ab);
        collide->AddCollType("a", "a", aa);
        collide->EndCollTypes();
    }

    static bool Finite(const vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

    nCollideServer2* collide = nullptr;
};
