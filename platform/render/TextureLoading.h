#pragma once
// Filling texture levels from pixels in memory: the source is converted into
// the texture's format (channels cut to their top bits, missing alpha opaque)
// and copied as it is, or point-scaled onto the whole level.

#include "platform/render/RenderTypes.h"

namespace render {

class Texture;

enum class LevelFilter {
    None,   // no scaling: the part of the source that fits goes to the level's corner
    Point,  // the source rectangle is scaled onto the whole level, nearest texel
};

// `source` points at the pixel (0, 0) of an image in `sourceFormat`, rows
// `sourcePitch` bytes apart; `sourceRect` is the part to use. False (logged)
// for a level that does not exist or is locked, a format that is no texture
// format, an empty rectangle or a pitch too small for it.
bool LoadLevelFromMemory(Texture& texture, int level, const void* source, Format sourceFormat,
                         int sourcePitch, const Rect& sourceRect, LevelFilter filter);

}  // namespace render
