#pragma once
// Opening a video for the players: the file is read through the file server (assigns,
// archives and case-insensitive names as for every other data file) and decoded by
// the platform's video layer.
#include <memory>
#include <string>

#include "platform/video/Decoder.h"

class nFileServer2;

namespace VideoFile {

// Null, with `error` saying why, when the file is missing or is no video that decodes.
std::unique_ptr<video::Decoder> Open(nFileServer2* fs, const char* name, std::string& error);

}  // namespace VideoFile
