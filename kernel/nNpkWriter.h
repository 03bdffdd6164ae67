#pragma once
// Writes npk archives in the layout nNpkToc reads. Names are lower-cased, as the
// file server looks archive entries up by lower-cased path.
//
//     nNpkWriter w;
//     w.BeginDir("data.npk");
//     w.AddFile("init.n", text, size);
//     w.EndDir();
//     w.Save("/path/data.npk");

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

class nNpkWriter {
public:
    nNpkWriter();
    ~nNpkWriter();

    // Each returns false and records the first error (see GetError); after an
    // error every further call fails as well.
    bool BeginDir(const std::string& name);
    bool AddFile(const std::string& name, const void* data, size_t size);
    bool EndDir();

    // The complete archive; every open directory must have been ended.
    bool Finish(std::vector<unsigned char>& archive);
    bool Save(const std::string& path);

    const std::string& GetError() const { return error; }

    // Packs the directory `dir` with all its files and subdirectories into
    // `npkPath`; the archive's root directory is named `rootName`, or after the
    // archive file (for example "data.npk") when `rootName` is empty, so that the
    // mounted archive shows as a directory of that name.
    static bool PackDirectory(const std::string& dir, const std::string& npkPath,
                              const std::string& rootName, std::string& error);

private:
    bool Fail(const std::string& why);
    bool CheckName(std::string& name);
    bool PackTree(const std::string& dir);
    void PutU16(uint16_t v);
    void PutU32(uint32_t v);
    void PutName(const std::string& name);

    std::vector<unsigned char> toc;
    std::vector<unsigned char> data;
    std::vector<std::set<std::string>> openDirs;
    bool hadRoot = false;
    std::string error;
};
