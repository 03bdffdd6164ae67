// Feeds arbitrary bytes to both bone key-file readers (the first byte picks the form).
// A refused buffer must leave the table as it was; an accepted one must hold tracks of
// exactly the key count, within the readers' bounds, for bones inside the table.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "anim/nBoneKeys.h"
#include "kernel/nKernelPackage.h"
#include "kernel/nKernelServer.h"
#include "kernel/nLogHandler.h"

namespace {
class nSilentLog : public nLogHandler {};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static nKernelServer* kernel = [] {
        auto* k = new nKernelServer([](nKernelServer* ks) { nKernelPackage(ks); });
        static nSilentLog silent;
        k->SetLogHandler(&silent);
        return k;
    }();
    (void)kernel;
    if (size == 0) return 0;
    const bool text = data[0] & 1;
    const char* bytes = reinterpret_cast<const char*>(data + 1);
    nBoneKeyTable table;
    table.numBones = 7;
    const bool ok = text ? table.ReadText(bytes, size - 1, "fuzz.tkey") : table.ReadBinary(bytes, size - 1, "fuzz.bkey");
    if (!ok) {
        if (table.numBones != 7 || !table.bones.empty()) std::abort();
        return 0;
    }
    if (table.numBones < 0 || size_t(table.numBones) != table.bones.size() || table.numKeys < 0) std::abort();
    if (text && (long long)table.numKeys * (table.numBones > 0 ? table.numBones : 1) > nBoneKeyTable::MaxTextKeys)
        std::abort();
    for (const auto& b : table.bones) {
        if (!b) continue;
        if (!b->trans.empty() && b->trans.size() != size_t(table.numKeys)) std::abort();
        if (!b->rot.empty() && b->rot.size() != size_t(table.numKeys)) std::abort();
    }
    return 0;
}
