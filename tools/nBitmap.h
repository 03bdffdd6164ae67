#pragma once
// One bitmap of an image list: its resource id in decimal as key, its pixels as read
// from our icon "home:ui/icons/<id>.bmp", and a label (the class list of the tree view's
// table, "null" for the script editor's toolbar images).
#include <cstdint>
#include <string>
#include <vector>

#include "kernel/nHashNode.h"

class nFileServer2;

class nBitmap : public nHashNode {
public:
    nBitmap(int resourceId, const char* label);
    ~nBitmap() override = default;

    // Reads the icon through the file server; false (logged) when it is missing or not a
    // 24-bit picture, and the bitmap stays empty.
    bool Load(nFileServer2* fileServer);

    int GetResourceId() const { return this->resourceId; }
    const std::string& GetLabel() const { return this->label; }
    int GetWidth() const { return this->width; }
    int GetHeight() const { return this->height; }
    // Rows top to bottom, blue, green, red per pixel.
    const std::vector<uint8_t>& GetPixels() const { return this->pixels; }

private:
    int resourceId;
    std::string label;
    int width = 0;
    int height = 0;
    std::vector<uint8_t> pixels;
};
