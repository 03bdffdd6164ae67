#pragma once

#include "gfx/nImageFile.h"

// Uncompressed Windows BMP files: reads 8 and 24 bits per pixel, writes 24.
class nBmpFile : public nImageFile {
public:
    // Larger widths or heights are refused as corrupt.
    static constexpr int MaxDimension = 32768;

    nBmpFile();
    ~nBmpFile() override;

    bool Open(const char* name, const char* mode) override;
    void Close() override;
    uint8_t* ReadLine(int& row) override;
    void WriteLine(const void* pixels) override;

    int GetRowSize() const { return rowSize; }
    // Whether the file's first row is the picture's bottom row (a positive height).
    bool IsBottomUp() const { return bottomUp; }

private:
    bool openRead(const char* name);
    bool openWrite(const char* name);
    bool fail();

    int rowSize;
    uint8_t* rowBuffer;
    int curRow;
    bool bottomUp;
};

