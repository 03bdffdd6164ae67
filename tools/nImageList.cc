#include "tools/nImageList.h"

#include <string>

#include "tools/nBitmap.h"

nImageList::nImageList(nFileServer2* fileServer, unsigned maskColour, int width, int height)
    : fileServer(fileServer), maskColour(maskColour), width(width), height(height) {}

nImageList::~nImageList() {
    while (nHashNode* n = this->bitmaps.RemHead()) delete static_cast<nBitmap*>(n);
}

bool nImageList::AddBitmap(int resourceId, const char* label) {
    if (this->bitmaps.Find(std::to_string(resourceId).c_str()) != nullptr) return false;
    auto* bitmap = new nBitmap(resourceId, label);
    bitmap->Load(this->fileServer);
    this->bitmaps.AddTail(bitmap);
    return true;
}

int nImageList::GetCount() const {
    int count = 0;
    for (nHashNode* n = this->bitmaps.GetHead(); n != nullptr; n = n->GetSucc()) count++;
    return count;
}

nBitmap* nImageList::GetBitmap(int index) const {
    int i = 0;
    for (nHashNode* n = this->bitmaps.GetHead(); n != nullptr; n = n->GetSucc(), i++) {
        if (i == index) return static_cast<nBitmap*>(n);
    }
    return nullptr;
}

int nImageList::Build() {
    const size_t size = static_cast<size_t>(this->width) * static_cast<size_t>(this->height);
    this->built = this->GetCount();
    this->images.assign(size * static_cast<size_t>(this->built), 0);
    // The mask colour in the files' blue, green, red order.
    const uint8_t maskB = static_cast<uint8_t>(this->maskColour >> 16);
    const uint8_t maskG = static_cast<uint8_t>(this->maskColour >> 8);
    const uint8_t maskR = static_cast<uint8_t>(this->maskColour);
    int index = 0;
    for (nHashNode* n = this->bitmaps.GetHead(); n != nullptr; n = n->GetSucc(), index++) {
        const auto* bitmap = static_cast<nBitmap*>(n);
        uint32_t* image = this->images.data() + size * static_cast<size_t>(index);
        // A picture of another size is cut or padded (transparent) to the list's size.
        for (int y = 0; y < this->height && y < bitmap->GetHeight(); y++) {
            for (int x = 0; x < this->width && x < bitmap->GetWidth(); x++) {
                const uint8_t* p = bitmap->GetPixels().data() +
                                   (static_cast<size_t>(y) * static_cast<size_t>(bitmap->GetWidth()) + x) * 3;
                if (p[0] == maskB && p[1] == maskG && p[2] == maskR) continue;
                image[static_cast<size_t>(y) * static_cast<size_t>(this->width) + x] =
                    0xFF000000u | static_cast<uint32_t>(p[0]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[2];
            }
        }
    }
    return this->built;
}

const uint32_t* nImageList::GetImage(int index) const {
    if (index < 0 || index >= this->built) return nullptr;
    return this->images.data() + static_cast<size_t>(this->width) * static_cast<size_t>(this->height) *
                                     static_cast<size_t>(index);
}

int nImageList::FindImage(const char* className) const {
    if (className == nullptr) return 0;
    const std::string name = className;
    int index = 0;
    for (nHashNode* n = this->bitmaps.GetHead(); n != nullptr; n = n->GetSucc(), index++) {
        const std::string& label = static_cast<nBitmap*>(n)->GetLabel();
        if (label == "null") continue;
        size_t start = 0;
        while (start <= label.size()) {
            size_t end = label.find(';', start);
            if (end == std::string::npos) end = label.size();
            if (label.compare(start, end - start, name) == 0 && end - start == name.size()) return index;
            start = end + 1;
        }
    }
    return 0;
}
