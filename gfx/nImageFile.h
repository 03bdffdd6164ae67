#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "gfx/nPixelFormat.h"

// Abstract reader and writer of image files, row by row, through C streams. Files are
// read through the kernel's file server (so from npk archives too) into memory and
// streamed from there; they are written to disk directly.
class nImageFile {
public:
    enum Mode { CLOSED = 0, READING = 1, WRITING = 2 };

    nImageFile();
    virtual ~nImageFile();

    virtual bool Open(const char* name, const char* mode);
    virtual void Close();
    virtual bool IsOpen() const;
    virtual int GetWidth() const;
    virtual int GetHeight() const;
    virtual nPixelFormat* GetPixelFormat() const;
    // Next row's pixels; row receives its number, or -1 (and null) at the end.
    virtual uint8_t* ReadLine(int& row);
    virtual void SetWidth(int w);
    virtual void SetHeight(int h);
    virtual void SetFormat(int bpp, uint32_t r, uint32_t g, uint32_t b, uint32_t a);
    virtual void SetPalette(int bpp, const uint8_t* colours);
    virtual void WriteLine(const void* pixels);

    // True when the stream refused part of what was written since Open, including at
    // Close; a full disk shows only there.
    bool WriteFailed() const { return writeFailed; }

protected:
    void replaceFormat(nPixelFormat* format);

    FILE* fp;
    // What a read stream is opened on.
    std::string fileBytes;
    int width;
    int height;
    nPixelFormat* pixelFormat;
    int mode;
    bool writeFailed = false;
};

