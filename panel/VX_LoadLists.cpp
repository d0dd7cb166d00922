#include "panel/VX_LoadLists.h"

#include <dirent.h>

#include <cstring>
#include <map>

#include "config/VX_Parser.h"

namespace {

bool endsWith(const std::string &text, const char *tail)
{
    const size_t n = std::strlen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// The layout names of the list at `path`, space-separated, as the engine's
// load reads them; false when the file cannot be read at all.
bool layoutsOf(const std::string &path, std::string &layouts)
{
    VX_Parser in;
    if (!in.open(path.c_str()))
        return false;
    VX_Token token;
    while (in.nextToken(token, VX_READ_NUMBERS) && token.kind == VX_TOKEN_WORD)
        layouts += (layouts.empty() ? "" : " ") + std::string(token.text, token.length);
    return true;
}

}  // namespace

std::string VX_LoadLists::fileFor(const std::string &set, std::vector<std::string> &searchDirs)
{
    if (set.empty())
        return "load.cfg";
    const size_t slash = set.rfind('/');
    if (slash != std::string::npos) {
        // A file of the user's own: the layouts it names are looked for
        // beside it first.
        searchDirs.insert(searchDirs.begin(), slash == 0 ? std::string("/") : set.substr(0, slash));
        return set.substr(slash + 1);
    }
    if (endsWith(set, ".cfg"))
        return set;
    if (set == "load" || set.compare(0, 5, "load-") == 0)
        return set + ".cfg";
    return "load-" + set + ".cfg";
}

std::string VX_LoadLists::nameOf(const std::string &set)
{
    std::vector<std::string> dirs;
    const std::string list = fileFor(set, dirs);
    if (list == "load.cfg")
        return "default";
    if (list.compare(0, 5, "load-") == 0 && endsWith(list, ".cfg") && list.size() > 9)
        return list.substr(5, list.size() - 9);
    return list;
}

std::vector<VX_LoadLists::Set> VX_LoadLists::find(const std::vector<std::string> &searchDirs)
{
    std::map<std::string, Set> found;  // by name; the first folder wins
    for (const std::string &dir : searchDirs) {
        DIR *d = opendir(dir.c_str());
        if (!d)
            continue;
        while (const dirent *entry = readdir(d)) {
            const std::string file = entry->d_name;
            if (!endsWith(file, ".cfg") || (file != "load.cfg" && file.compare(0, 5, "load-") != 0))
                continue;
            const std::string name = file == "load.cfg" ? "default" : file.substr(5, file.size() - 9);
            if (name.empty() || found.count(name))
                continue;
            Set set{name, dir + "/" + file, std::string()};
            if (layoutsOf(set.path, set.layouts))
                found.emplace(name, std::move(set));
        }
        closedir(d);
    }
    std::vector<Set> sets;
    if (found.count("default"))
        sets.push_back(found["default"]);
    for (auto &entry : found)
        if (entry.first != "default")
            sets.push_back(entry.second);
    return sets;
}
