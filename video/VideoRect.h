#pragma once
// The part of a video placed at a screen position that lies on the back buffer: the
// display refuses to lock rectangles reaching outside it, so the players lock and copy
// only this part.
class nGfxServer;

struct VideoRect {
    // Left, top, right, bottom of the visible part on the screen.
    float lock[4] = {};
    // The visible part within the video.
    int srcX = 0;
    int srcY = 0;
    int width = 0;
    int height = 0;

    // False when nothing of a `w` x `h` video at (x, y) is visible.
    bool Clip(nGfxServer* gfx, float x, float y, int w, int h);
};
