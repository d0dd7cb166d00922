#include "image/VX_ImageList.h"

#include <cstdint>
#include <new>

#include "base/VX_Log.h"

VX_ImageList::VX_ImageList() : head(nullptr), tail(nullptr) {}

VX_ImageList::~VX_ImageList() { clear(); }

bool VX_ImageList::append(VX_Image *image)
{
    if (!image)
        return false;
    Node *node = new (std::nothrow) Node{nullptr, nullptr};
    if (!node) {
        vxLog.print("VX_ImageList: can't allocate memory\n");
        return false;
    }
    if (tail)
        tail->next = node;
    else
        head = node;
    tail = node;
    node->image = image;
    // Kept at most half full, so that probes stay short. Growing enters
    // every image again, this one too.
    if (!indexLost_) {
        if (2 * (indexed_ + 1) > indexSize_)
            growIndex();
        else
            index(image);
    }
    return true;
}

size_t VX_ImageList::slotOf(int x, int y, int width, int height) const
{
    uint64_t key = (uint64_t(uint16_t(x)) << 48) | (uint64_t(uint16_t(y)) << 32) |
                   (uint64_t(uint16_t(width)) << 16) | uint64_t(uint16_t(height));
    key *= 0x9e3779b97f4a7c15ull;
    return static_cast<size_t>(key >> 32) & (indexSize_ - 1);
}

void VX_ImageList::index(VX_Image *image)
{
    const char *name = image->rootName();
    size_t slot = slotOf(image->x, image->y, image->width, image->height);
    while (VX_Image *there = index_[slot]) {
        if (there->isPiece(name, image->x, image->y, image->width, image->height))
            return;  // the older one is what a lookup finds
        slot = (slot + 1) & (indexSize_ - 1);
    }
    index_[slot] = image;
    ++indexed_;
}

bool VX_ImageList::growIndex()
{
    const size_t size = indexSize_ ? 2 * indexSize_ : kFirstIndexSize;
    std::unique_ptr<VX_Image *[]> slots(new (std::nothrow) VX_Image *[size]());
    if (!slots) {
        index_.reset();
        indexSize_ = 0;
        indexed_ = 0;
        indexLost_ = true;
        return false;
    }
    index_ = std::move(slots);
    indexSize_ = size;
    indexed_ = 0;
    // Re-entered oldest first, so the oldest of equal images stays.
    for (Node *node = head; node; node = node->next)
        index(node->image);
    return true;
}

VX_Image *VX_ImageList::find(const char *name) const
{
    for (Node *node = head; node; node = node->next)
        if (node->image->hasName(name))
            return node->image;
    return nullptr;
}

VX_Image *VX_ImageList::findPiece(const char *name, int x, int y, int width, int height) const
{
    if (index_) {
        for (size_t slot = slotOf(x, y, width, height); VX_Image *there = index_[slot];
             slot = (slot + 1) & (indexSize_ - 1))
            if (there->isPiece(name, x, y, width, height))
                return there;
        return nullptr;
    }
    for (Node *node = head; node; node = node->next)
        if (node->image->isPiece(name, x, y, width, height))
            return node->image;
    return nullptr;
}

VX_Image *VX_ImageList::first() const { return head ? head->image : nullptr; }

void VX_ImageList::clear()
{
    Node *node = head;
    head = nullptr;
    tail = nullptr;
    index_.reset();
    indexSize_ = 0;
    indexed_ = 0;
    indexLost_ = false;
    while (node) {
        Node *next = node->next;
        delete node->image;
        delete node;
        node = next;
    }
}
