#pragma once
// A font face for drawing glyph bitmaps, found by name through fontconfig (its
// substitute where the named face is missing) and rendered by FreeType with
// antialiasing. Characters are Windows-1252 codes: 128 to 255 are mapped to the
// characters they stand for.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace font {

class Face {
public:
    // Null (logged) when no face can be opened. The pixel height is the em height.
    static std::unique_ptr<Face> Open(const std::string& name, int pixelHeight, bool bold, bool italic);
    ~Face();
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;

    // Pixels of an em for a point size at 96 dots per inch, rounded.
    static int PixelHeight(int points);
    // The character a Windows-1252 code stands for (0 for the unused codes).
    static uint32_t ToUnicode(uint8_t code);
    // The file fontconfig finds for a face (its substitute where the named face is
    // missing); empty when it finds none.
    static std::string FindFile(const std::string& name, bool bold, bool italic);

    // Height of a character cell: ascent plus descent.
    int GetCellHeight() const { return this->ascent + this->descent; }
    // Advance width of a character.
    int GetAdvance(uint8_t code) const { return this->advances[code]; }
    // The file fontconfig chose.
    const std::string& GetFile() const { return this->file; }

    // Draws the character's coverage as grey into 32-bit words (each of the three
    // low bytes the coverage), rows top-down, `width` words a row; the cell's top
    // left corner at (x, y). Clipped to the bitmap; coverage only ever rises.
    void Draw(uint8_t code, uint32_t* pixels, int width, int height, int x, int y) const;

private:
    Face() = default;

    void* library = nullptr;  // FT_Library
    void* face = nullptr;     // FT_Face
    std::string file;
    int ascent = 0;
    int descent = 0;
    std::array<int, 256> advances{};
};

}  // namespace font
