// Feeds arbitrary bytes to the npk table-of-contents reader. A mounted archive
// must resolve every entry by its full name and keep all file data in bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "kernel/nNpkToc.h"

namespace {

void Walk(const nNpkToc& toc, const nNpkTocEntry* e, size_t size, int depth) {
    if (depth > nNpkToc::MAX_DEPTH + 1) std::abort();  // files sit one below the deepest directory
    if (toc.Resolve(e->GetFullName()) != e) std::abort();
    if (!e->IsDirectory() && e->GetFileOffset() + e->GetFileLength() > size) std::abort();
    for (const nNpkTocEntry* c = e->GetHead(); c; c = c->GetSucc()) Walk(toc, c, size, depth + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nNpkToc toc;
    std::string error;
    if (toc.ParseBuffer(data, size, "/mnt", nullptr, error)) {
        Walk(toc, toc.GetRoot(), size, 1);
        toc.Resolve("/mnt/" + toc.GetRoot()->GetName() + "/../x/./..");
    } else if (toc.GetRoot() || error.empty()) {
        std::abort();
    }
    return 0;
}
