#include "gfx/nBmpFile.h"

#include <cstdlib>
#include <cstring>

#include "kernel/nKernelServer.h"

namespace {

constexpr uint16_t BmpType = 0x4D42; // "BM"
constexpr int FileHeaderSize = 14;
constexpr int InfoHeaderSize = 40;

uint16_t getU16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t getU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void putU16(uint8_t* p, uint16_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void putU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}

} // namespace

nBmpFile::nBmpFile() : rowSize(0), rowBuffer(nullptr), curRow(0), bottomUp(true) {}

nBmpFile::~nBmpFile() { std::free(rowBuffer); }

bool nBmpFile::fail() {
    Close();
    return false;
}

bool nBmpFile::Open(const char* name, const char* m) {
    if (IsOpen()) Close();
    if (!nImageFile::Open(name, m)) {
        n_error("nBmpFile: cannot open '%s'\n", name ? name : "");
        nImageFile::Close();
        return false;
    }
    return mode == WRITING ? openWrite(name) : openRead(name);
}

bool nBmpFile::openWrite(const char* name) {
    if (width <= 0 || height <= 0 || width > MaxDimension || height > MaxDimension) {
        n_error("nBmpFile: cannot write '%s' with size %d x %d\n", name, width, height);
        return fail();
    }
    rowSize = (width * 3 + 3) & ~3;
    uint8_t hdr[FileHeaderSize + InfoHeaderSize] = {};
    putU16(hdr + 0, BmpType);
    putU32(hdr + 2, uint32_t(FileHeaderSize + InfoHeaderSize) + uint32_t(rowSize) * uint32_t(height));
    putU32(hdr + 10, FileHeaderSize + InfoHeaderSize);
    putU32(hdr + 14, InfoHeaderSize);
    putU32(hdr + 18, uint32_t(width));
    putU32(hdr + 22, uint32_t(height));
    putU16(hdr + 26, 1);
    putU16(hdr + 28, 24);
    if (std::fwrite(hdr, sizeof(hdr), 1, fp) != 1) {
        n_error("nBmpFile: writing the header of '%s' failed\n", name);
        return fail();
    }
    SetFormat(24, 0xFF, 0xFF00, 0xFF0000, 0);
    curRow = 0;
    return true;
}

// The headers are checked against each other and against the file's real size,
// so that no row or palette entry is ever read from outside the file.
bool nBmpFile::openRead(const char* name) {
    if (std::fseek(fp, 0, SEEK_END) != 0) return fail();
    long fileSize = std::ftell(fp);
    if (fileSize < 0 || std::fseek(fp, 0, SEEK_SET) != 0) {
        n_error("nBmpFile: '%s' is not a seekable file\n", name);
        return fail();
    }
    uint8_t hdr[FileHeaderSize + InfoHeaderSize];
    if (fileSize < long(sizeof(hdr)) || std::fread(hdr, sizeof(hdr), 1, fp) != 1) {
        n_error("nBmpFile: '%s' is too short for a BMP file\n", name);
        return fail();
    }
    if (getU16(hdr) != BmpType) {
        n_error("nBmpFile: '%s' is not a BMP file\n", name);
        return fail();
    }
    const uint32_t dataOffset = getU32(hdr + 10);
    const uint32_t infoSize = getU32(hdr + 14);
    const int32_t w = int32_t(getU32(hdr + 18));
    const int32_t h = int32_t(getU32(hdr + 22));
    const int bpp = getU16(hdr + 28);
    const uint32_t compression = getU32(hdr + 30);
    uint32_t coloursUsed = getU32(hdr + 46);

    // Larger info headers (V4, V5) only append fields; the core header is not supported.
    if (infoSize < InfoHeaderSize || infoSize > uint32_t(fileSize)) {
        n_error("nBmpFile: '%s' has an unsupported info header size %u\n", name, infoSize);
        return fail();
    }
    if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        n_error("nBmpFile: '%s' has %d bits per pixel, not supported\n", name, bpp);
        return fail();
    }
    // Only raw rows; compressed, bit-field, JPEG and PNG data are refused.
    if (compression != 0) {
        n_error("nBmpFile: '%s' is compressed (%u), not supported\n", name, compression);
        return fail();
    }
    if (bpp == 16 || bpp == 32) {
        n_error("nBmpFile: '%s' has %d bits per pixel, only 8 and 24 are read\n", name, bpp);
        return fail();
    }
    if (w <= 0 || w > MaxDimension || h == 0 || h < -MaxDimension || h > MaxDimension) {
        n_error("nBmpFile: '%s' has an invalid size %d x %d\n", name, w, h);
        return fail();
    }
    width = w;
    height = h < 0 ? -h : h;
    bottomUp = h > 0;

    uint64_t pos = uint64_t(FileHeaderSize) + infoSize;
    if (bpp == 8) {
        if (coloursUsed == 0) coloursUsed = 256;
        if (coloursUsed > 256) {
            n_error("nBmpFile: '%s' claims %u palette colours\n", name, coloursUsed);
            return fail();
        }
        const uint64_t palEnd = pos + uint64_t(coloursUsed) * 4;
        if (palEnd > dataOffset || palEnd > uint64_t(fileSize)) {
            n_error("nBmpFile: the palette of '%s' overlaps its pixel data or the file's end\n", name);
            return fail();
        }
        uint8_t raw[256 * 4];
        uint8_t colours[256 * 4] = {};
        if (std::fseek(fp, long(pos), SEEK_SET) != 0 ||
            std::fread(raw, 4, coloursUsed, fp) != coloursUsed) {
            n_error("nBmpFile: reading the palette of '%s' failed\n", name);
            return fail();
        }
        // Stored blue, green, red, reserved; kept as red, green, blue, opaque.
        for (uint32_t i = 0; i < coloursUsed; ++i) {
            colours[4 * i + 0] = raw[4 * i + 2];
            colours[4 * i + 1] = raw[4 * i + 1];
            colours[4 * i + 2] = raw[4 * i + 0];
            colours[4 * i + 3] = 255;
        }
        SetPalette(8, colours);
        pos = palEnd;
    } else {
        SetFormat(24, 0xFF, 0xFF00, 0xFF0000, 0);
    }

    rowSize = (bpp / 8 * width + 3) & ~3;
    const uint64_t dataEnd = uint64_t(dataOffset) + uint64_t(rowSize) * uint64_t(height);
    if (dataOffset < pos || dataEnd > uint64_t(fileSize)) {
        n_error("nBmpFile: the pixel data of '%s' lies outside the file\n", name);
        return fail();
    }
    if (std::fseek(fp, long(dataOffset), SEEK_SET) != 0) return fail();
    std::free(rowBuffer);
    rowBuffer = static_cast<uint8_t*>(std::malloc(size_t(rowSize)));
    if (!rowBuffer) {
        n_error("nBmpFile: out of memory for '%s'\n", name);
        return fail();
    }
    curRow = 0;
    return true;
}

uint8_t* nBmpFile::ReadLine(int& row) {
    if (mode != READING || curRow >= height) {
        row = -1;
        return nullptr;
    }
    if (std::fread(rowBuffer, size_t(rowSize), 1, fp) != 1) {
        n_error("nBmpFile::ReadLine(): unexpected end of file in row %d\n", curRow);
        curRow = height;
        row = -1;
        return nullptr;
    }
    row = curRow++;
    return rowBuffer;
}

void nBmpFile::WriteLine(const void* pixels) {
    if (mode != WRITING || !pixels) {
        n_error("nBmpFile::WriteLine(): file not open for writing\n");
        return;
    }
    // Extra rows would leave the header's size wrong.
    if (curRow >= height) {
        n_error("nBmpFile::WriteLine(): all %d rows written already\n", height);
        return;
    }
    static const uint8_t zeros[4] = {};
    const size_t bytes = size_t(width) * 3;
    const size_t pad = size_t(rowSize) - bytes;
    if (std::fwrite(pixels, 1, bytes, fp) != bytes || std::fwrite(zeros, 1, pad, fp) != pad) {
        if (!writeFailed) n_error("nBmpFile::WriteLine(): writing row %d failed\n", curRow);
        writeFailed = true;
    }
    ++curRow;
}

void nBmpFile::Close() {
    std::free(rowBuffer);
    rowBuffer = nullptr;
    rowSize = 0;
    curRow = 0;
    nImageFile::Close();
}
