#include "tools/nBitmap.h"

#include <cstring>

#include "gfx/nBmpFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"

nBitmap::nBitmap(int resourceId, const char* label)
    : nHashNode(std::to_string(resourceId).c_str()), resourceId(resourceId), label(label != nullptr ? label : "") {}

bool nBitmap::Load(nFileServer2* fileServer) {
    if (fileServer == nullptr) return false;
    const std::string name = "home:ui/icons/" + std::to_string(this->resourceId) + ".bmp";
    // Through the file server, so loose or from the "ui" archive.
    nBmpFile file;
    if (!file.Open(name.c_str(), "rb")) {
        n_printf("nBitmap: cannot read bitmap %d (%s)\n", this->resourceId, name.c_str());
        return false;
    }
    const int w = file.GetWidth();
    const int h = file.GetHeight();
    if (w <= 0 || h <= 0 || w > 256 || h > 256 || file.GetRowSize() < w * 3) {
        n_printf("nBitmap: bitmap %d is no 24-bit picture up to 256 x 256 (%s)\n", this->resourceId, name.c_str());
        file.Close();
        return false;
    }
    std::vector<uint8_t> rows(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    for (int line = 0; line < h; line++) {
        int row = 0;
        const uint8_t* data = file.ReadLine(row);
        if (data == nullptr || row < 0 || row >= h) {
            n_printf("nBitmap: bitmap %d is cut short (%s)\n", this->resourceId, name.c_str());
            file.Close();
            return false;
        }
        const int pictureRow = file.IsBottomUp() ? h - 1 - row : row;
        std::memcpy(rows.data() + static_cast<size_t>(pictureRow) * static_cast<size_t>(w) * 3, data,
                    static_cast<size_t>(w) * 3);
    }
    file.Close();
    this->width = w;
    this->height = h;
    this->pixels = std::move(rows);
    return true;
}
