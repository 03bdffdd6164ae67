#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "kernel/nPathRef.h"
#include "kernel/nString.h"

class nFile;
class nFileServer2;
class nKernelServer;

// Reader and writer of NTX files, the engine's container of ready-made texture images:
// a header, a table of 32-byte block records and the pixel data of each block (one
// image of one pixel format at one mip level, or the six faces of a cube map). Files go
// through the file server, so archives serve them too.
//
// Reading checks the whole table against the file before anything uses it: a file
// whose records do not describe data inside it is refused (logged), so a block read
// never goes past the file or the caller's buffer.
class nNtxFile {
public:
    static constexpr uint32_t Magic = 0x4E545831;  // "1XTN" on disk
    static constexpr int HeaderSize = 8;
    static constexpr int RecordSize = 32;

    enum Type { TYPE_2D = 2, TYPE_CUBE = 4 };

    struct Block {
        uint32_t format = 0;  // 1 R8G8B8, 2 A8R8G8B8, 3 R5G6B5, 4 A4R4G4B4
        uint32_t type = 0;
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t depth = 0;
        uint32_t mipLevel = 0;
        uint32_t dataOffset = 0;
        uint32_t dataSize = 0;
    };

    // The kernel is the one the file server is found in.
    explicit nNtxFile(nKernelServer* kernel);
    // Closes an open file and frees the table.
    ~nNtxFile();
    nNtxFile(const nNtxFile&) = delete;
    nNtxFile& operator=(const nNtxFile&) = delete;

    // Bytes per pixel of a block format, 0 outside 1 to 4.
    static int FormatBytes(uint32_t format);

    // ---- reading
    // False (logged) when the file cannot be opened or is no valid NTX file; the file
    // is closed again and the table stays empty then.
    bool OpenRead(const char* fileName);
    // First block in table order with this format, type and mip level; -1 for none.
    int FindBlock(uint32_t format, uint32_t type, uint32_t mipLevel) const;
    // The top-level 2D block a texture loads: block 0's alpha decides between the
    // formats with and without alpha, the quality between 32 bits (1, 2) and 16 bits
    // (3, 4); 1 falls back to 3 and 2 to 4. -1 when there is none.
    int FindTextureBlock(bool highQuality) const;
    // Reads the current block's data; returns the bytes read, 0 (logged) when the
    // block is larger than `bufferSize` or the read fails.
    size_t ReadBlock(void* buffer, size_t bufferSize);
    void CloseRead();

    // ---- writing
    // Allocates a table of `count` zeroed records.
    void SetNumBlocks(int count);
    // Opens with "wb" and writes the header and table at once: every block's format,
    // type, size, depth and level must be set before.
    bool OpenWrite(const char* fileName);
    void WriteHeader();
    bool WriteBlock(const void* buffer, size_t size);
    void CloseWrite();
    void FreeBlocks();

    // ---- the table
    int GetNumBlocks() const { return numBlocks; }
    void SetCurrentBlock(int index);
    int GetCurrentBlock() const { return curBlock; }
    const Block* GetBlock(int index) const;

    // The current block's fields; a table without blocks reads 0.
    void SetFormat(uint32_t v) { if (Block* b = cur()) b->format = v; }
    uint32_t GetFormat() const { return field(&Block::format); }
    void SetType(uint32_t v) { if (Block* b = cur()) b->type = v; }
    uint32_t GetType() const { return field(&Block::type); }
    void SetWidth(uint32_t v) { if (Block* b = cur()) b->width = v; }
    uint32_t GetWidth() const { return field(&Block::width); }
    void SetHeight(uint32_t v) { if (Block* b = cur()) b->height = v; }
    uint32_t GetHeight() const { return field(&Block::height); }
    void SetDepth(uint32_t v) { if (Block* b = cur()) b->depth = v; }
    uint32_t GetDepth() const { return field(&Block::depth); }
    void SetMipLevel(uint32_t v) { if (Block* b = cur()) b->mipLevel = v; }
    uint32_t GetMipLevel() const { return field(&Block::mipLevel); }
    uint32_t GetDataSize() const { return field(&Block::dataSize); }
    uint32_t GetDataOffset() const { return field(&Block::dataOffset); }
    // From the data size: a cube map's six faces share it.
    uint32_t GetBytesPerPixel() const;
    uint32_t GetBytesPerRow() const;

    bool IsReadOpen() const { return readOpen; }
    bool IsWriteOpen() const { return writeOpen; }

private:
    bool readHeader();
    void updateDataBlockOffset();
    bool readU32(uint32_t& value);
    bool writeU32(uint32_t value);
    void closeFile();
    Block* cur();
    uint32_t field(uint32_t Block::* member) const;

    nPathRef<nFileServer2> refFile;
    bool readOpen;
    bool writeOpen;
    nFile* file;
    int numBlocks;
    int curBlock;
    std::vector<Block> blocks;
    nString fileName;
};
