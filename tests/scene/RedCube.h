#pragma once
// A red cube of side 0.5 around the origin, as ".n3d" text: the draw tests' common object.
inline const char* const CubeN3d =
    "v -0.25 -0.25 -0.25\nv 0.25 -0.25 -0.25\nv 0.25 0.25 -0.25\nv -0.25 0.25 -0.25\n"
    "v -0.25 -0.25 0.25\nv 0.25 -0.25 0.25\nv 0.25 0.25 0.25\nv -0.25 0.25 0.25\n"
    "rgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\n"
    "rgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\nrgba 1 0 0 1\n"
    "f 1 2 3\nf 1 3 4\nf 5 7 6\nf 5 8 7\nf 1 5 6\nf 1 6 2\n"
    "f 4 3 7\nf 4 7 8\nf 1 4 8\nf 1 8 5\nf 2 6 7\nf 2 7 3\n";
