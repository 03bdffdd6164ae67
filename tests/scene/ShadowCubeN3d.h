#pragma once
// A cube of side 0.5 as ".n3d" text with its shadow edges, for the stencil shadow server:
// eight shared corners and the edges between the faces ("we a b c d": c is the third
// corner of the triangle (a, b, c), d that of (b, a, d)), found from the faces.
#include <string>

inline std::string ShadowCubeN3d(bool red = false) {
    const int faces[12][3] = {{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}, {0, 1, 5}, {0, 5, 4},
                              {3, 6, 2}, {3, 7, 6}, {0, 7, 3}, {0, 4, 7}, {1, 2, 6}, {1, 6, 5}};
    std::string s =
        "v -0.25 -0.25 -0.25\nv 0.25 -0.25 -0.25\nv 0.25 0.25 -0.25\nv -0.25 0.25 -0.25\n"
        "v -0.25 -0.25 0.25\nv 0.25 -0.25 0.25\nv 0.25 0.25 0.25\nv -0.25 0.25 0.25\n";
    if (red) {
        for (int i = 0; i < 8; i++) s += "rgba 1 0 0 1\n";
    }
    auto third = [&](int a, int b) {
        for (const auto& f : faces)
            for (int k = 0; k < 3; k++)
                if (f[k] == a && f[(k + 1) % 3] == b) return f[(k + 2) % 3];
        return -1;
    };
    for (const auto& f : faces) {
        s += "f " + std::to_string(f[0] + 1) + " " + std::to_string(f[1] + 1) + " " + std::to_string(f[2] + 1) + "\n";
        for (int k = 0; k < 3; k++) {
            const int a = f[k], b = f[(k + 1) % 3];
            if (a < b) {
                s += "we " + std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(f[(k + 2) % 3]) + " " +
                     std::to_string(third(b, a)) + "\n";
            }
        }
    }
    return s;
}
