#pragma once
// The named curves of one curve file (script class "nanimcurvearray", no commands),
// shared through the animation server: binary ".nax" files or text curve files. Both
// readers parse a whole file into a temporary set of curves and take it only when the
// file was good, so a refused file leaves the array as it was.
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

#include "anim/nAnimCurve.h"
#include "kernel/nRoot.h"

class nFileServer2;

class nAnimCurveArray : public nRoot {
public:
    static const nClassInfo classInfo;

    static constexpr uint32_t NaxMagic = 0x4E415830;
    static constexpr uint32_t HeaderTag = 0x43484452;
    static constexpr uint32_t FloatDataTag = 0x43445456;
    static constexpr uint32_t PackedDataTag = 0x43445450;
    static constexpr size_t MaxNameLength = 511;
    // Text files announce counts without carrying the keys: these bound what one may
    // make (the binary reader is bounded by the file's size).
    static constexpr int MaxTextCurves = 65536;
    static constexpr long long MaxTextKeys = 1 << 22;

    nAnimCurveArray();
    ~nAnimCurveArray() override;

    // False (logged) when the file cannot be opened or is malformed; the curves are then
    // unchanged.
    bool LoadBinary(nFileServer2* fs, const char* fileName);
    bool LoadText(nFileServer2* fs, const char* fileName);
    // False (logged) when the file cannot be written or a curve cannot be stored in the
    // format (a name longer than 511 characters, or one holding blanks in text).
    bool SaveBinary(nFileServer2* fs, const char* fileName);
    bool SaveText(nFileServer2* fs, const char* fileName);
    // LoadBinary when the name contains ".nax", else LoadText, through the kernel's file
    // server.
    bool Load(const char* fileName);

    // The readers on bytes in memory; `what` names the source in log lines.
    bool ReadBinary(const char* data, size_t size, const char* what);
    bool ReadText(const char* data, size_t size, const char* what);

    // Frees all curves and makes `n` with the defaults.
    void SetNumCurves(int n);
    int GetNumCurves() const { return static_cast<int>(curves_.size()); }
    // Curves in file order; null outside.
    nAnimCurve* GetCurve(int index);
    // The first curve of that name; null when none.
    nAnimCurve* FindCurve(const char* name);
    // Index of the first curve of that name, -1 when none.
    int FindCurveIndex(const char* name) const;
    // Bytes the keys of all curves take.
    size_t GetByteSize() const;

private:
    // Takes `curves` and rebuilds the name index.
    void Commit(std::vector<nAnimCurve>& curves);
    std::string Describe(const char* what, const char* fileName = nullptr) const;

    std::vector<nAnimCurve> curves_;
    // First index of each name.
    std::unordered_map<std::string, int> index_;
};
