#include "tools/check/VX_LoadExplainer.h"

#include <cstring>

#include "base/VX_Log.h"
#include "engine/VX_Keywords.h"
#include "engine/VX_Layout.h"

const char *VX_LoadExplainer::refusedPictureOf(const VX_Layout &layout, int32_t key) const
{
    const auto keys = refusedKeys_.find(&layout);
    if (keys == refusedKeys_.end())
        return nullptr;
    const auto file = keys->second.find(key);
    return file == keys->second.end() ? nullptr : file->second.c_str();
}

void VX_LoadExplainer::unknownSection(const char *path, uint32_t line, const char *header)
{
    std::string names;
    const size_t count = sizeof vxSectionNames / sizeof vxSectionNames[0];
    for (size_t i = 0; i < count; ++i) {
        names += i == 0 ? "" : i + 1 == count ? " and " : ", ";
        names += std::string("[") + vxSectionNames[i] + "]";
    }
    pending_.push_back(std::string(path) + ", line " + std::to_string(line) + ": [" + header +
                       "] is no section; the sections are " + names +
                       ", written exactly so");
}

void VX_LoadExplainer::sectionShort(const char *path, uint32_t line, const char *section,
                                    int32_t read, int32_t expected)
{
    std::string text = std::string(path) + ", line " + std::to_string(line) + ": [" + section +
                       "] has " + std::to_string(read) + (read == 1 ? " entry" : " entries");
    if (std::strcmp(section, "Strings") == 0)
        text += ", and [Layout] has " + std::to_string(expected) + " alpha key" +
                (expected == 1 ? "" : "s") + ": one entry for each";
    else
        text += ", and [Common] asks for " + std::to_string(expected) + " (keys " +
                std::to_string(expected) + "): one entry for each key";
    pending_.push_back(text);
}

void VX_LoadExplainer::pictureRefused(const VX_Layout &layout, int32_t key, const char *fileName)
{
    loading_ = &layout;
    loadingKeys_.emplace(key, fileName);  // keeps the first file of the key
    for (Refusal &refusal : refusals_) {
        if (refusal.file == fileName) {
            ++refusal.count;
            return;
        }
    }
    refusals_.push_back({fileName, 1});
}

void VX_LoadExplainer::layoutDone(const char *name, bool placed)
{
    for (const Refusal &refusal : refusals_)
        vxLog.info("vexil-check: %s: %d request%s for a picture of '%s' got none, one message "
                   "each above\n",
                   name, refusal.count, refusal.count == 1 ? "" : "s", refusal.file.c_str());
    for (const std::string &text : pending_)
        vxLog.info("vexil-check: %s\n", text.c_str());
    if (placed && loading_)
        refusedKeys_[loading_] = std::move(loadingKeys_);
    pending_.clear();
    refusals_.clear();
    loadingKeys_.clear();
    loading_ = nullptr;
}
