#pragma once
// Another spelling of a path that names the same file: "./" before the file name and
// every letter before the extension in upper case. The file layer finds the same file
// under it; anything that compares the texts sees another name.
#include <cctype>
#include <string>

inline std::string Respelled(const std::string& path) {
    const size_t slash = path.rfind('/');
    std::string out = slash == std::string::npos ? "./" + path : path.substr(0, slash) + "/./" + path.substr(slash + 1);
    const size_t dot = out.rfind('.');
    const size_t end = dot == std::string::npos || dot < out.rfind('/') ? out.size() : dot;
    for (size_t i = 0; i < end; i++) out[i] = char(std::toupper(static_cast<unsigned char>(out[i])));
    return out;
}
