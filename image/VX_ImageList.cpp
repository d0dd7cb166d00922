#include "image/VX_ImageList.h"

#include <new>

#include "app/VX_Log.h"

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
    while (node) {
        Node *next = node->next;
        delete node->image;
        delete node;
        node = next;
    }
}
