#pragma once
// A graphics server that records every text it is asked to draw, with position and
// colour, and reports a display of the height the test sets.
#include <string>
#include <vector>

#include "gfx/nGfxServer.h"

class nTextRecordingGfx : public nGfxServer {
public:
    static const nClassInfo classInfo;
    struct Op {
        float x, y;
        float r, g, b, a;
        std::string text;
    };
    bool GetDisplayDesc(int& x0, int& y0, int& x1, int& y1) override {
        x0 = 0;
        y0 = 0;
        x1 = 800;
        y1 = height;
        return true;
    }
    bool BeginText() override { ++begins; return true; }
    void SetTextPos(float x, float y) override { px = x; py = y; }
    void SetTextColor(float r, float g, float b, float a) override { c[0] = r; c[1] = g; c[2] = b; c[3] = a; }
    bool Text(const char* text) override {
        ops.push_back({px, py, c[0], c[1], c[2], c[3], text});
        return true;
    }
    bool EndText() override { ++ends; return true; }

    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const Op& op : ops) t.push_back(op.text);
        return t;
    }

    int height = 600;
    int begins = 0, ends = 0;
    float px = 0, py = 0, c[4] = {};
    std::vector<Op> ops;
};
inline const nClassInfo nTextRecordingGfx::classInfo =
    nClassInfo::Make<nTextRecordingGfx>("ntextrecordinggfx", "ngfxserver");
