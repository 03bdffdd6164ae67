#pragma once
// An image list: bitmap records keyed by their resource id (insertion order is image
// order) and, once built, the images as 16 x 16 RGBA pictures in which the mask colour
// is transparent.
#include <cstdint>
#include <vector>

#include "kernel/nHashList.h"

class nBitmap;
class nFileServer2;

class nImageList {
public:
    // `maskColour` is a Windows colour value 0x00BBGGRR.
    nImageList(nFileServer2* fileServer, unsigned maskColour, int width = 16, int height = 16);
    virtual ~nImageList();
    nImageList(const nImageList&) = delete;
    nImageList& operator=(const nImageList&) = delete;

    // Appends the bitmap of `resourceId` with its label; an id already present adds
    // nothing. False when nothing was added. A bitmap that does not load still takes its
    // place (an empty image), so later indices stay those of their rows.
    bool AddBitmap(int resourceId, const char* label);
    // Makes the images anew from the records; returns their count (the list's handle).
    int Build();
    // The image index for a class name: the first record whose ";"-separated label names
    // it; the "null" record and unknown classes give 0.
    int FindImage(const char* className) const;

    int GetCount() const;
    nBitmap* GetBitmap(int index) const;
    // A built image's pixels (RGBA, rows top to bottom); null out of range or before Build.
    const uint32_t* GetImage(int index) const;
    int GetImageWidth() const { return this->width; }
    int GetImageHeight() const { return this->height; }

private:
    nHashList bitmaps{16};
    nFileServer2* fileServer;
    unsigned maskColour;
    int width;
    int height;
    std::vector<uint32_t> images;
    int built = 0;
};
