// Ordered list that owns images and finds them by name, or by name and
// rectangle. Lookups walk from the oldest image: the first appended wins.
#ifndef VEXIL_IMAGE_VX_IMAGELIST_H
#define VEXIL_IMAGE_VX_IMAGELIST_H

#include "image/VX_Image.h"

class VX_ImageList {
public:
    VX_ImageList();
    ~VX_ImageList();  // clear()
    VX_ImageList(const VX_ImageList &) = delete;
    VX_ImageList &operator=(const VX_ImageList &) = delete;

    // Takes ownership of `image` on success; on failure (message) the image
    // stays the caller's.
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
    Node *head;  // first node, null when empty
    Node *tail;  // last node, where the next one is linked
};

#endif
