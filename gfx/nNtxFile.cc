#include "gfx/nNtxFile.h"

#include "kernel/nFile.h"
#include "kernel/nFileServer2.h"
#include "kernel/nKernelServer.h"

nNtxFile::nNtxFile(nKernelServer*)
    : refFile("/sys/servers/file2"), readOpen(false), writeOpen(false), file(nullptr), numBlocks(0),
      curBlock(0) {}

nNtxFile::~nNtxFile() {
    closeFile();
    FreeBlocks();
}

int nNtxFile::FormatBytes(uint32_t format) {
    switch (format) {
    case 1: return 3;
    case 2: return 4;
    case 3:
    case 4: return 2;
    default: return 0;
    }
}

// ---- the table

void nNtxFile::SetCurrentBlock(int index) {
    if (index >= 0 && index < numBlocks) curBlock = index;
}

const nNtxFile::Block* nNtxFile::GetBlock(int index) const {
    return index >= 0 && index < numBlocks ? &blocks[size_t(index)] : nullptr;
}

nNtxFile::Block* nNtxFile::cur() { return curBlock < numBlocks ? &blocks[size_t(curBlock)] : nullptr; }

uint32_t nNtxFile::field(uint32_t Block::* member) const {
    return curBlock < numBlocks ? blocks[size_t(curBlock)].*member : 0;
}

uint32_t nNtxFile::GetBytesPerPixel() const {
    const Block* b = GetBlock(curBlock);
    if (!b) return 0;
    const uint64_t pixels = uint64_t(b->width) * b->height * (b->type == TYPE_CUBE ? 6 : 1);
    return pixels ? uint32_t(b->dataSize / pixels) : 0;
}

uint32_t nNtxFile::GetBytesPerRow() const {
    const Block* b = GetBlock(curBlock);
    if (!b) return 0;
    const uint64_t rows = uint64_t(b->height) * (b->type == TYPE_CUBE ? 6 : 1);
    return rows ? uint32_t(b->dataSize / rows) : 0;
}

int nNtxFile::FindBlock(uint32_t format, uint32_t type, uint32_t mipLevel) const {
    for (int i = 0; i < numBlocks; ++i) {
        const Block& b = blocks[size_t(i)];
        if (b.format == format && b.type == type && b.mipLevel == mipLevel) return i;
    }
    return -1;
}

int nNtxFile::FindTextureBlock(bool highQuality) const {
    if (numBlocks < 1) return -1;
    const bool alpha = blocks[0].format == 2 || blocks[0].format == 4;
    const uint32_t wanted = alpha ? (highQuality ? 2 : 4) : (highQuality ? 1 : 3);
    int index = FindBlock(wanted, TYPE_2D, 0);
    if (index < 0 && (wanted == 1 || wanted == 2)) index = FindBlock(wanted + 2, TYPE_2D, 0);
    return index;
}

// ---- files

bool nNtxFile::readU32(uint32_t& value) {
    uint8_t b[4];
    if (file->Read(b, 4) != 4) return false;
    value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

bool nNtxFile::writeU32(uint32_t value) {
    const uint8_t b[4] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
    return file->Write(b, 4) == 4;
}

void nNtxFile::closeFile() {
    if (file) {
        file->Close();
        delete file;
        file = nullptr;
    }
    readOpen = false;
    writeOpen = false;
}

bool nNtxFile::OpenRead(const char* name) {
    closeFile();
    FreeBlocks();
    fileName.Set(name ? name : "");
    file = refFile.Get()->NewFileObject();
    if (!file || !name || !file->Open(name, "rb")) {
        n_error("nNtxFile: cannot open '%s'\n", fileName.Get());
        closeFile();
        return false;
    }
    readOpen = true;
    if (!readHeader()) {
        closeFile();
        FreeBlocks();
        return false;
    }
    return true;
}

// Every record must describe data of its own size inside the file, so that no later
// read or division depends on what the file claims.
bool nNtxFile::readHeader() {
    const char* name = fileName.Get();
    const uint64_t fileSize = file->GetSize();
    uint32_t magic = 0, count = 0;
    if (!readU32(magic) || magic != Magic) {
        n_error("nNtxFile: '%s' is no NTX file (wrong magic)\n", name);
        return false;
    }
    if (!readU32(count) || int32_t(count) < 0 || HeaderSize + uint64_t(count) * RecordSize > fileSize) {
        n_error("nNtxFile: '%s' cannot hold its %d blocks\n", name, int32_t(count));
        return false;
    }
    SetNumBlocks(int(count));
    for (int i = 0; i < numBlocks; ++i) {
        Block& b = blocks[size_t(i)];
        uint32_t* fields[] = {&b.format, &b.type, &b.width, &b.height, &b.depth, &b.mipLevel, &b.dataOffset, &b.dataSize};
        for (uint32_t* f : fields) {
            if (!readU32(*f)) {
                n_error("nNtxFile: '%s' ends inside block record %d\n", name, i);
                return false;
            }
        }
        const int bpp = FormatBytes(b.format);
        if (bpp == 0) {
            n_error("nNtxFile: '%s' block %d has the unknown format %u\n", name, i, b.format);
            return false;
        }
        if (b.width == 0 || b.height == 0 || b.depth == 0) {
            n_error("nNtxFile: '%s' block %d is empty (%u x %u x %u)\n", name, i, b.width, b.height, b.depth);
            return false;
        }
        // A two-dimensional image has one slice and a cube map six: any other depth would
        // be read as rows of a texture of another pitch.
        if ((b.type == TYPE_2D && b.depth != 1) || (b.type == TYPE_CUBE && b.depth != 6)) {
            n_error("nNtxFile: '%s' block %d of type %u has the depth %u (%d expected)\n", name, i, b.type, b.depth,
                    b.type == TYPE_2D ? 1 : 6);
            return false;
        }
        if (uint64_t(b.width) * b.height * b.depth * uint64_t(bpp) != b.dataSize) {
            n_error("nNtxFile: '%s' block %d holds %u bytes, not %u x %u x %u x %d\n", name, i, b.dataSize, b.width,
                    b.height, b.depth, bpp);
            return false;
        }
        if (uint64_t(b.dataOffset) + b.dataSize > fileSize) {
            n_error("nNtxFile: '%s' block %d lies past the end of the file\n", name, i);
            return false;
        }
    }
    curBlock = 0;
    return true;
}

size_t nNtxFile::ReadBlock(void* buffer, size_t bufferSize) {
    const Block* b = GetBlock(curBlock);
    if (!readOpen || !b || !buffer) {
        n_error("nNtxFile: no block to read in '%s'\n", fileName.Get());
        return 0;
    }
    if (b->dataSize > bufferSize) {
        n_error("nNtxFile: block %d of '%s' (%u bytes) does not fit a buffer of %zu bytes\n", curBlock, fileName.Get(),
                b->dataSize, bufferSize);
        return 0;
    }
    if (!file->Seek(int64_t(b->dataOffset), nFile::START) || file->Read(buffer, b->dataSize) != b->dataSize) {
        n_error("nNtxFile: reading block %d of '%s' failed\n", curBlock, fileName.Get());
        return 0;
    }
    return b->dataSize;
}

void nNtxFile::CloseRead() { closeFile(); }

// ---- writing

void nNtxFile::SetNumBlocks(int count) {
    blocks.assign(size_t(count > 0 ? count : 0), Block());
    numBlocks = int(blocks.size());
    curBlock = 0;
}

void nNtxFile::FreeBlocks() {
    blocks.clear();
    blocks.shrink_to_fit();
    numBlocks = 0;
    curBlock = 0;
}

bool nNtxFile::OpenWrite(const char* name) {
    closeFile();
    fileName.Set(name ? name : "");
    file = refFile.Get()->NewFileObject();
    if (!file || !name || !file->Open(name, "wb")) {
        n_error("nNtxFile: cannot write '%s'\n", fileName.Get());
        closeFile();
        return false;
    }
    writeOpen = true;
    WriteHeader();
    return true;
}

void nNtxFile::updateDataBlockOffset() {
    uint64_t offset = uint64_t(RecordSize) * uint64_t(numBlocks) + HeaderSize;
    for (Block& b : blocks) {
        const int bpp = FormatBytes(b.format);
        if (bpp == 0) nKernelServer::FatalError("nNtxFile::updateDataBlockOffset(): illegal block format\n");
        b.dataSize = uint32_t(uint64_t(b.depth) * b.height * b.width * uint64_t(bpp));
        b.dataOffset = uint32_t(offset);
        offset += b.dataSize;
    }
}

void nNtxFile::WriteHeader() {
    if (!writeOpen) return;
    bool ok = writeU32(Magic) && writeU32(uint32_t(numBlocks));
    updateDataBlockOffset();
    for (const Block& b : blocks) {
        for (uint32_t v : {b.format, b.type, b.width, b.height, b.depth, b.mipLevel, b.dataOffset, b.dataSize})
            ok = ok && writeU32(v);
    }
    if (!ok) n_error("nNtxFile: writing the header of '%s' failed\n", fileName.Get());
    curBlock = 0;
}

bool nNtxFile::WriteBlock(const void* buffer, size_t size) {
    const Block* b = GetBlock(curBlock);
    if (!writeOpen || !b || !buffer || !file->Seek(int64_t(b->dataOffset), nFile::START) ||
        file->Write(buffer, size) != size) {
        n_error("nNtxFile: writing block %d of '%s' failed\n", curBlock, fileName.Get());
        return false;
    }
    return true;
}

void nNtxFile::CloseWrite() { closeFile(); }
