// Explains, after the loader's own lines, the mistakes that those lines
// leave an author guessing about: a section header that names no section
// (the format fails the layout without a word of its own), a section with
// fewer entries than [Common] asks for (the format reports the next header
// as a wrong token), and a picture file that every [Pixs] item asking for
// it fails to get (one message per request). The explanations go through
// the log sink as information lines: the loader's diagnostics already
// count the failure.
#ifndef VEXIL_TOOLS_CHECK_VX_LOADEXPLAINER_H
#define VEXIL_TOOLS_CHECK_VX_LOADEXPLAINER_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/VX_LoadObserver.h"

class VX_LoadExplainer : public VX_LoadObserver {
public:
    // The file whose pictures a key of a placed layout failed to get, or
    // null when every piece it asked for arrived.
    const char *refusedPictureOf(const VX_Layout &layout, int32_t key) const;

    void unknownSection(const char *path, uint32_t line, const char *header) override;
    void sectionShort(const char *path, uint32_t line, const char *section, int32_t read,
                      int32_t expected) override;
    void pictureRefused(const VX_Layout &layout, int32_t key, const char *fileName) override;
    void layoutDone(const char *name, bool placed) override;

private:
    // Picture requests of the layout being loaded that got nothing.
    struct Refusal {
        std::string file;  // the picture file asked for
        int32_t count;     // requests for it, one message each
    };

    std::vector<std::string> pending_;           // explanations of the current load
    std::vector<Refusal> refusals_;              // of the current load, first request first
    const VX_Layout *loading_ = nullptr;         // layout the refusals belong to
    std::map<int32_t, std::string> loadingKeys_; // key -> first file it failed to get
    // Placed layouts and, per key, the first file it failed to get. A
    // layout that is not placed is forgotten: its record is destroyed.
    std::map<const VX_Layout *, std::map<int32_t, std::string>> refusedKeys_;
};

#endif
