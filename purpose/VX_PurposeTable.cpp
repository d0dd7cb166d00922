#include "purpose/VX_PurposeTable.h"

#include <cstring>
#include <unistd.h>

#include "base/VX_Log.h"
#include "config/VX_Input.h"

namespace {

constexpr const char *kBlanks = " \t";

// The next blank-separated word of `line` from `at` on, moving `at` past
// it; empty at the end of the line.
std::string nextWord(const char *line, size_t &at)
{
    at += std::strspn(line + at, kBlanks);
    const size_t length = std::strcspn(line + at, kBlanks);
    std::string word(line + at, length);
    at += length;
    return word;
}

}  // namespace

std::string VX_PurposeTable::fileFor(const std::string &listName)
{
    const std::string ext = ".cfg";
    std::string base = listName;
    if (base.size() > ext.size() && base.compare(base.size() - ext.size(), ext.size(), ext) == 0)
        base.erase(base.size() - ext.size());
    return base + ".purpose";
}

std::string VX_PurposeTable::find(const std::vector<std::string> &searchDirs, const std::string &listName)
{
    const std::string name = fileFor(listName);
    for (const std::string &dir : searchDirs) {
        const std::string path = dir + "/" + name;
        if (access(path.c_str(), R_OK) == 0)
            return path;
    }
    return std::string();
}

bool VX_PurposeTable::load(const char *path)
{
    clear();
    VX_Input in;
    if (!in.open(path))
        return false;
    while (const char *line = in.readLine()) {
        size_t at = 0;
        const std::string word = nextWord(line, at);
        if (word.empty())
            continue;  // a line of blanks
        VX_Purpose purpose;
        if (!vxPurposeFromName(word.c_str(), purpose)) {
            vxLog.print("VX_Purpose: unknown purpose '%s' (%s, %u)\n", word.c_str(), in.displayName(),
                        static_cast<unsigned>(in.lineCount));
            clear();
            return false;
        }
        if (!choices_[purpose].empty()) {
            vxLog.print("VX_Purpose: purpose '%s' given twice (%s, %u)\n", word.c_str(), in.displayName(),
                        static_cast<unsigned>(in.lineCount));
            clear();
            return false;
        }
        std::vector<std::string> names;
        for (std::string name = nextWord(line, at); !name.empty(); name = nextWord(line, at)) {
            if (names.size() == static_cast<size_t>(kMaxChoices)) {
                vxLog.print("VX_Purpose: purpose '%s' names more than %d layouts (%s, %u)\n", word.c_str(),
                            kMaxChoices, in.displayName(), static_cast<unsigned>(in.lineCount));
                clear();
                return false;
            }
            names.push_back(name);
        }
        if (names.empty()) {
            vxLog.print("VX_Purpose: purpose '%s' names no layout (%s, %u)\n", word.c_str(), in.displayName(),
                        static_cast<unsigned>(in.lineCount));
            clear();
            return false;
        }
        choices_[purpose] = std::move(names);
    }
    if (in.lineLength < 0) {
        // The reader has said why (a read error, a NUL byte, a long line).
        clear();
        return false;
    }
    return true;
}

const std::vector<std::string> &VX_PurposeTable::choices(VX_Purpose purpose) const
{
    static const std::vector<std::string> none;
    return purpose < VX_PURPOSE_COUNT ? choices_[purpose] : none;
}

bool VX_PurposeTable::empty() const
{
    for (const std::vector<std::string> &names : choices_)
        if (!names.empty())
            return false;
    return true;
}

void VX_PurposeTable::clear()
{
    for (std::vector<std::string> &names : choices_)
        names.clear();
}

void VX_PurposeTable::set(VX_Purpose purpose, std::vector<std::string> names)
{
    if (purpose >= VX_PURPOSE_COUNT)
        return;
    if (names.size() > static_cast<size_t>(kMaxChoices))
        names.resize(kMaxChoices);
    choices_[purpose] = std::move(names);
}
