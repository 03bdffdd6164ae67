#pragma once
// A square of side 1 around the origin in the z = 0 plane, facing +z, in one colour, as
// ".n3d" text; with the byte and colour-channel helpers the draw tests read it with.
#include <cstdint>
#include <string>
#include <vector>

inline std::string SquareN3d(const char* rgba) {
    std::string s = "v -0.5 -0.5 0\nv 0.5 -0.5 0\nv 0.5 0.5 0\nv -0.5 0.5 0\n";
    for (int i = 0; i < 4; i++) s += std::string("vn 0 0 1\nrgba ") + rgba + "\n";
    return s + "f 1 2 3\nf 1 3 4\n";
}

inline std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// The channels of a presented 0xAARRGGBB pixel.
inline int R(uint32_t c) { return int((c >> 16) & 0xFF); }
inline int G(uint32_t c) { return int((c >> 8) & 0xFF); }
inline int B(uint32_t c) { return int(c & 0xFF); }
