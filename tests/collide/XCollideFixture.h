#pragma once
// The collide fixture with the program's collide server, shapes made by type, a floor
// mesh read from a hand-written .n3d, and fresh check buffers.
#include <deque>
#include <memory>
#include <string>

#include "tests/collide/CollideFixture.h"

class XCollideFixture : public CollideFixture {
protected:
    const char* ServerClass() const override { return "nxcollideserver"; }

    std::string Unique(const char* kind) { return std::string(kind) + std::to_string(counter++); }
    nCollideShape2* Box(float x, float y, float z) {
        nCollideShape2* s = collide->NewShape(2, Unique("box").c_str());
        s->SetBoxSides(vector3(x, y, z));
        return s;
    }
    nCollideShape2* Sphere(float r) {
        nCollideShape2* s = collide->NewShape(3, Unique("sphere").c_str());
        s->SetRadius(r);
        return s;
    }
    nCollideShape2* Cylinder() { return collide->NewShape(4, Unique("cyl").c_str()); }
    // Two triangles at y = 0 over [-5, 5] in x and z, facing up.
    nCollideShape2* Floor() {
        if (!floor_) {
            std::string path = Write("floor.n3d",
                                     "v -5 0 -5\nv -5 0 5\nv 5 0 5\nv 5 0 -5\n"
                                     "f 1 2 3\nf 1/1 3/3 4/4\n");
            floor_ = collide->NewShape(5, path.c_str());
            EXPECT_TRUE(floor_->Load(path.c_str()));
        }
        return floor_;
    }
    // An empty buffer of that type, as a context hands it to a test.
    nCollideReportBuffer& Buffer(nCollType type) {
        buffers_.push_back(std::make_unique<nCollideReportBuffer>());
        buffers_.back()->Begin(type);
        return *buffers_.back();
    }
    using CollideFixture::Finite;
    static bool Finite(const nCollideReport& r) {
        return CollideFixture::Finite(r.point1) && CollideFixture::Finite(r.point2) &&
               CollideFixture::Finite(r.normal1) && CollideFixture::Finite(r.normal2) && std::isfinite(r.depth);
    }

    int counter = 0;
    nCollideShape2* floor_ = nullptr;
    std::deque<std::unique_ptr<nCollideReportBuffer>> buffers_;
};
