// Ordered list that owns images and finds them by name, or by name and
// rectangle. Lookups answer as a walk from the oldest image would: the
// first appended wins. Lookups by rectangle go through a hash index, since
// a layout set asks for each of its hundreds of key pieces while they are
// appended; without memory for the index they walk the list.
#ifndef VEXIL_IMAGE_VX_IMAGELIST_H
#define VEXIL_IMAGE_VX_IMAGELIST_H

#include <cstddef>
#include <memory>

#include "image/VX_Image.h"

class VX_ImageList {
public:
    VX_ImageList();
    ~VX_ImageList();  // clear()
    VX_ImageList(const VX_ImageList &) = delete;
    VX_ImageList &operator=(const VX_ImageList &) = delete;

    // Takes ownership of `image` on success; on failure (message) the image
    // stays the caller's. The image's name and rectangle must not change
    // while it is in the list.
    bool append(VX_Image *image);
    VX_Image *find(const char *name) const;
    VX_Image *findPiece(const char *name, int x, int y, int width, int height) const;
    // The first image appended, or null when the list is empty.
    VX_Image *first() const;
    // Destroys every image and node.
    void clear();

private:
    struct Node {
        Node *next;             // following node or null
        VX_Image *image;        // owned
    };
    static constexpr size_t kFirstIndexSize = 64;  // slots; doubles as the list grows

    // Index slot where a piece of rectangle (x, y, width, height) is looked
    // for first.
    size_t slotOf(int x, int y, int width, int height) const;
    // Enters `image` unless an older image has its name and rectangle.
    void index(VX_Image *image);
    // Makes the index twice as large (or first makes it); false when the
    // memory is not there, and lookups then walk the list.
    bool growIndex();

    Node *head;  // first node, null when empty
    Node *tail;  // last node, where the next one is linked
    std::unique_ptr<VX_Image *[]> index_;  // open addressing, null slots empty
    size_t indexSize_ = 0;                 // slots in index_, a power of two
    size_t indexed_ = 0;                   // images entered in index_
    bool indexLost_ = false;               // a growth failed: walk the list
};

#endif
