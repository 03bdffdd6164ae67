#include "video/VideoRect.h"

#include <algorithm>
#include <cmath>

#include "gfx/nGfxServer.h"

bool VideoRect::Clip(nGfxServer* gfx, float x, float y, int w, int h) {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (!gfx || !gfx->GetDisplayDesc(x0, y0, x1, y1)) return false;
    // Positions come from integers; far-off ones must not overflow.
    const double left = std::trunc(double(x)), top = std::trunc(double(y));
    const double l = std::max(left, double(x0)), t = std::max(top, double(y0));
    const double r = std::min(left + w, double(x1)), b = std::min(top + h, double(y1));
    if (l >= r || t >= b) return false;
    srcX = int(l - left);
    srcY = int(t - top);
    width = int(r - l);
    height = int(b - t);
    lock[0] = float(l);
    lock[1] = float(t);
    lock[2] = float(r);
    lock[3] = float(b);
    return true;
}
