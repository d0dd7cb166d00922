#include "engine/VX_Engine.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "base/VX_Cancel.h"
#include "base/VX_Log.h"
#include "config/VX_Parser.h"

VX_Engine::VX_Engine(std::vector<std::string> dirs) : searchDirs(std::move(dirs)) {}

VX_Engine::~VX_Engine()
{
    for (int slot = 0; slot < kSlots; ++slot) {
        layouts[VX_LAYOUT_BASIC][slot].reset();
        layouts[VX_LAYOUT_AUX][slot].reset();
    }
    // Layouts point into the caches, so the caches go last.
    keyPictures.clear();
    keyPieces.clear();
    boardPictures.clear();
}

bool VX_Engine::load(const char *listName)
{
    VX_Parser in;
    if (!in.open(findFile(listName))) {
        in.close();
        return false;
    }
    // The first board picture is every layout's default background.
    getBoardPicture("bg.gif");

    VX_Token token;
    for (;;) {
        // A long list gives way to a request to stop (the program is asked
        // to end while it starts).
        if (VX_Cancel::requested()) {
            vxLog.print("VX_Engine: load stopped on request (%s, %u)\n", in.displayName(), in.lineCount);
            in.close();
            settleAllNamedLinks();
            return false;
        }
        if (!in.nextToken(token, VX_READ_NUMBERS)) {
            in.close();
            settleAllNamedLinks();
            return false;
        }
        if (token.kind == VX_TOKEN_END)
            break;
        if (token.kind != VX_TOKEN_WORD) {
            vxLog.print("VX_Engine: layout name expected (%s, %u)\n", in.displayName(),
                        in.lineCount);
            break;
        }
        // token.text stays valid: the layout reads its file with a parser
        // of its own.
        const char *name = token.text;
        std::unique_ptr<VX_Layout> layout(new (std::nothrow) VX_Layout(this));
        if (!layout) {
            vxLog.print("VX_Engine: can't allocate memory for layout '%s' (need %u bytes)\n",
                        name, static_cast<unsigned>(sizeof(VX_Layout)));
            if (observer)
                observer->layoutDone(name, false);
            continue;
        }
        if (!layout->load(name)) {
            vxLog.print("VX_Engine: loading layout '%s' failed, remove it\n", name);
            if (observer)
                observer->layoutDone(name, false);
            continue;
        }
        int row = layout->type;  // 0 or 1, checked by the loader
        if (layoutCount[row] >= static_cast<uint32_t>(kListSlots)) {
            vxLog.print("VX_Engine: have to drop layout '%s', no more space\n", name);
            if (observer)
                observer->layoutDone(name, false);
            continue;
        }
        layouts[row][layoutCount[row]] = std::move(layout);
        ++layoutCount[row];
        if (observer)
            observer->layoutDone(name, true);
    }

    in.close();
    // The whole list is loaded: every target a named link can have is placed.
    settleAllNamedLinks();
    if (layoutCount[VX_LAYOUT_BASIC] == 0) {
        vxLog.print("VX_Engine: it seems to be no basic layout available\n");
        return false;
    }
    vxLog.info("VX_Engine: load complete - basic: %u, aux: %u\n",
                static_cast<unsigned>(layoutCount[VX_LAYOUT_BASIC]),
                static_cast<unsigned>(layoutCount[VX_LAYOUT_AUX]));
    return true;
}

char *VX_Engine::findFile(const char *fileName)
{
    for (const std::string &dir : searchDirs) {
        int n = std::snprintf(path, sizeof path, "%s/%s", dir.c_str(), fileName);
        if (n < 0 || n >= kPathSize) {
            // Never search a truncated path: it could name another file.
            path[0] = '\0';
            vxLog.print("VX_Engine: path too long for '%s' in '%s'\n", fileName, dir.c_str());
            continue;
        }
        if (access(path, R_OK) == 0)
            return path;
    }
    // One diagnostic: the name, then every directory searched.
    std::string searched;
    for (const std::string &dir : searchDirs)
        searched += " " + dir;
    vxLog.print("VX_Engine: no '%s' in (%s )\n", fileName, searched.c_str());
    return nullptr;
}

bool VX_Engine::hasFile(const char *fileName)
{
    for (const std::string &dir : searchDirs) {
        const int n = std::snprintf(path, sizeof path, "%s/%s", dir.c_str(), fileName);
        if (n > 0 && n < kPathSize && access(path, R_OK) == 0)
            return true;
    }
    path[0] = '\0';
    return false;
}

int32_t VX_Engine::addAuxLayout(const char *name)
{
    if (!name || layoutNamed(name) || layoutCount[VX_LAYOUT_AUX] >= static_cast<uint32_t>(kSlots))
        return -1;
    const std::string file = std::string(name) + ".cfg";
    if (!hasFile(file.c_str()))
        return -1;
    std::unique_ptr<VX_Layout> layout(new (std::nothrow) VX_Layout(this));
    if (!layout)
        return -1;
    if (!layout->load(name)) {
        vxLog.print("VX_Engine: loading layout '%s' failed, remove it\n", name);
        return -1;
    }
    if (layout->type != VX_LAYOUT_AUX) {
        vxLog.print("VX_Engine: layout '%s' is no aux layout, remove it\n", name);
        return -1;
    }
    // An addition the list did not ask for comes only where it fits: each
    // of its links must find its aux layout in the set.
    for (const VX_NamedLink &link : layout->namedLinks)
        if (auxLayoutIndex(link.target.c_str()) < 0) {
            vxLog.info("VX_Engine: layout '%s' is left out: it links to '%s', which the set lacks\n", name,
                       link.target.c_str());
            return -1;
        }
    const uint32_t slot = layoutCount[VX_LAYOUT_AUX]++;
    layouts[VX_LAYOUT_AUX][slot] = std::move(layout);
    settleNamedLinks(*layouts[VX_LAYOUT_AUX][slot]);
    return static_cast<int32_t>(slot);
}

bool VX_Engine::loadAlternates()
{
    bool ok = true;
    forEachLayout([&](int32_t, int32_t, VX_Layout &layout) {
        layout.alternates.clear();
        if (!layout.name)
            return;
        const std::string file = std::string(layout.name.get()) + ".alt";
        if (hasFile(file.c_str()) && !layout.alternates.load(path, file.c_str()))
            ok = false;
    });
    return ok;
}

int32_t VX_Engine::auxLayoutIndex(const char *name) const
{
    return findLayout(VX_LAYOUT_AUX, name);
}

void VX_Engine::settleNamedLinks(VX_Layout &layout)
{
    for (const VX_NamedLink &link : layout.namedLinks) {
        if (link.key < 0 || link.key >= layout.keyCount || !layout.keys)
            continue;  // never index past the keys, whoever filled the list
        VX_Key &key = layout.keys[link.key];
        int32_t slot = auxLayoutIndex(link.target.c_str());
        if (slot < 0) {
            vxLog.print("VX_Engine: layout '%s': key %d links to '%s', which is no loaded aux layout\n",
                        layout.displayName(), static_cast<int>(link.key), link.target.c_str());
            continue;  // the key stays untyped and does nothing
        }
        key.type = VX_KEY_LINK;
        key.linkSlot = slot;
    }
    layout.namedLinks.clear();
}

void VX_Engine::settleAllNamedLinks()
{
    forEachLayout([this](int32_t, int32_t, VX_Layout &layout) { settleNamedLinks(layout); });
}

int32_t VX_Engine::findLayout(int32_t row, const char *name) const
{
    if (!name)
        return -1;
    for (int32_t slot = 0; slot < kSlots; ++slot) {
        const VX_Layout *layout = layoutAt(row, slot);
        if (layout && std::strcmp(layout->displayName(), name) == 0)
            return slot;
    }
    return -1;
}

VX_Layout *VX_Engine::layoutNamed(const char *name) const
{
    for (int32_t row = 0; row < kRows; ++row)
        if (VX_Layout *layout = layoutAt(row, findLayout(row, name)))
            return layout;
    return nullptr;
}

VX_Layout *VX_Engine::layoutAt(int32_t row, int32_t slot) const
{
    if (row < 0 || row >= kRows || slot < 0 || slot >= kSlots ||
        static_cast<uint32_t>(slot) >= layoutCount[row])
        return nullptr;
    return layouts[row][slot].get();
}

bool VX_Engine::nextBasic(const Place &from, Place &to) const
{
    int32_t next = from.slot + 1;
    if (!layoutAt(VX_LAYOUT_BASIC, next))
        next = 0;
    if (next == from.slot || !layoutAt(VX_LAYOUT_BASIC, next))
        return false;
    to = from;
    to.slot = next;
    return true;
}

bool VX_Engine::openAux(const Place &from, int32_t auxSlot, Place &to) const
{
    if (!layoutAt(VX_LAYOUT_AUX, auxSlot))
        return false;
    to.returnSlot = from.row == VX_LAYOUT_BASIC ? from.slot : from.returnSlot;
    to.row = VX_LAYOUT_AUX;
    to.slot = auxSlot;
    return true;
}

bool VX_Engine::returnFromAux(const Place &from, Place &to) const
{
    if (!layoutAt(VX_LAYOUT_BASIC, from.returnSlot))
        return false;
    to.row = VX_LAYOUT_BASIC;
    to.slot = from.returnSlot;
    to.returnSlot = -1;
    return true;
}

VX_Engine::Place VX_Engine::place() const
{
    Place here;
    here.row = activeRow;
    here.slot = activeSlot;
    here.returnSlot = returnSlot;
    return here;
}

void VX_Engine::show(const Place &to)
{
    activeRow = to.row;
    activeSlot = to.slot;
    returnSlot = to.returnSlot;
}

VX_Image *VX_Engine::getBoardPicture(const char *fileName)
{
    return getPicture(boardPictures, fileName);
}

VX_Image *VX_Engine::getKeyPicture(const char *fileName) { return getPicture(keyPictures, fileName); }

VX_Image *VX_Engine::getPicture(VX_ImageList &cache, const char *fileName)
{
    if (VX_Image *known = cache.find(fileName))
        return known;
    // A picture that failed is not remembered: the next request tries again.
    const char *found = findFile(fileName);
    if (!found)
        return nullptr;
    std::unique_ptr<VX_Image> image(new (std::nothrow) VX_Image);
    if (!image) {
        vxLog.print("VX_Engine: can't allocate memory\n");
        return nullptr;
    }
    if (!image->load(found))
        return nullptr;
    // A picture the cache did not take would belong to no one.
    if (!cache.append(image.get()))
        return nullptr;
    return image.release();
}

VX_Image *VX_Engine::getKeyPiece(const char *fileName, int x, int y, int width, int height)
{
    if (VX_Image *known = keyPieces.findPiece(fileName, x, y, width, height))
        return known;
    VX_Image *source = getKeyPicture(fileName);
    if (!source)
        return nullptr;
    std::unique_ptr<VX_Image> piece(new (std::nothrow) VX_Image);
    if (!piece) {
        vxLog.print("VX_Engine: can't allocate memory\n");
        return nullptr;
    }
    piece->cutFrom(source, x, y, width, height);
    if (!keyPieces.append(piece.get()))
        return nullptr;
    return piece.release();
}

VX_Layout *VX_Engine::activeLayout() const
{
    return layoutAt(activeRow, activeSlot);
}

void VX_Engine::preparePictures(VX_Layout &layout)
{
    if (layout.background)
        layout.background->decode();
    for (int32_t i = 0; i < layout.keyCount; ++i)
        for (const auto &mode : layout.keys[i].pix)
            for (VX_Image *piece : mode)
                if (piece)
                    piece->decode();
}

void VX_Engine::prepareAll()
{
    forEachLayout([this](int32_t, int32_t, VX_Layout &layout) { preparePictures(layout); });
}
