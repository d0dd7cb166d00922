// Which load list --set picks, and the lists --list-sets names with the
// layouts each loads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/VX_Engine.h"
#include "engine/VX_LoadObserver.h"
#include "panel/VX_LoadLists.h"
#include "tests/TestSupport.h"

namespace {

TEST(LoadLists, FileAndNameOfASet)
{
    struct Case {
        std::string set, list, firstDir;  // firstDir: searched first afterwards
        std::string name;                 // as --status names the set
    } cases[] = {
        {"", "load.cfg", "/user", "default"},
        {"de-fr-es", "load-de-fr-es.cfg", "/user", "de-fr-es"},
        {"load-el-ru", "load-el-ru.cfg", "/user", "el-ru"},
        {"load", "load.cfg", "/user", "default"},
        {"load-el-ru.cfg", "load-el-ru.cfg", "/user", "el-ru"},
        {"kiosk.cfg", "kiosk.cfg", "/user", "kiosk.cfg"},
        {"loader", "load-loader.cfg", "/user", "loader"},
        {"/srv/kiosk/list.cfg", "list.cfg", "/srv/kiosk", "list.cfg"},
        {"/srv/kiosk/load-big.cfg", "load-big.cfg", "/srv/kiosk", "big"},
        {"./mine", "mine", ".", "mine"},
        {"/list.cfg", "list.cfg", "/", "list.cfg"},
        {"load-.cfg", "load-.cfg", "/user", "load-.cfg"},
    };
    for (const Case &c : cases) {
        std::vector<std::string> dirs = {"/user", "/shipped"};
        EXPECT_EQ(VX_LoadLists::fileFor(c.set, dirs), c.list) << "'" << c.set << "'";
        EXPECT_EQ(dirs.front(), c.firstDir) << "'" << c.set << "'";
        EXPECT_EQ(dirs.size(), c.firstDir == "/user" ? 2u : 3u) << "'" << c.set << "'";
        EXPECT_EQ(VX_LoadLists::nameOf(c.set), c.name) << "'" << c.set << "'";
    }
}

// --list-sets: every load list of the search table, the first of each name
// (the one --set loads), the default first, with the layouts it loads: a
// '#' starts a comment in the first column only, as for every file.
TEST(LoadLists, FindNamesTheListsAndTheLayoutsTheyLoad)
{
    const TempDir user, shipped;
    user.write("load-kiosk.cfg", "# my kiosk\nen\n # indented\nnum\n");
    user.write("load-de-fr-es.cfg", "de\n");
    user.write("en.cfg", "[Common]\n");
    user.write("load-.cfg", "empty name\n");
    shipped.write("load.cfg", "num sym\nen ru\n");
    shipped.write("load-de-fr-es.cfg", "num sym en de fr es\n");
    shipped.write("loader.cfg", "not a list\n");
    const std::vector<VX_LoadLists::Set> sets = VX_LoadLists::find({user.path(), "/nonexistent", shipped.path()});
    struct Want {
        std::string name, layouts, path;
    } want[] = {
        {"default", "num sym en ru", shipped.path() + "/load.cfg"},
        {"de-fr-es", "de", user.path() + "/load-de-fr-es.cfg"},
        {"kiosk", "en # indented num", user.path() + "/load-kiosk.cfg"},
    };
    ASSERT_EQ(sets.size(), 3u);
    for (size_t i = 0; i < sets.size(); ++i) {
        EXPECT_EQ(sets[i].name, want[i].name) << i;
        EXPECT_EQ(sets[i].layouts, want[i].layouts) << want[i].name;
        EXPECT_EQ(sets[i].path, want[i].path) << want[i].name;
    }
}

// Hears the names of the layouts a load tries, loaded or not.
class TriedNames : public VX_LoadObserver {
public:
    void unknownSection(const char *, uint32_t, const char *) override {}
    void sectionShort(const char *, uint32_t, const char *, int32_t, int32_t) override {}
    void pictureRefused(const VX_Layout &, int32_t, const char *) override {}
    void layoutDone(const char *name, bool) override { names += (names.empty() ? "" : " ") + std::string(name); }

    std::string names;  // space-separated, in load order
};

// What --list-sets says a list loads is what the engine tries to load from
// it, whatever the file holds.
TEST(LoadLists, ListedLayoutsAreTheOnesTheEngineTries)
{
    const std::string lists[] = {
        "en de\n",
        "# comment\n\nen\n\tde   fr\n",
        "en # not a comment\n",
        "  #indented\nen\n",
        "en 42 de\n",       // a number ends the list
        "en (de) fr\n",      // parentheses are parts of names here
        "\xEF\xBB\xBF" "en\r\nde\r\n",  // byte-order mark, CR LF lines
        "# only a comment\n",
        "",
    };
    for (const std::string &content : lists) {
        const TempDir dir;
        dir.write("load-x.cfg", content);
        LogCapture log;
        const std::vector<VX_LoadLists::Set> sets = VX_LoadLists::find({dir.path()});
        ASSERT_EQ(sets.size(), 1u) << "'" << content << "'";
        TriedNames tried;
        VX_Engine engine({dir.path()});
        engine.observer = &tried;
        engine.load("load-x.cfg");
        EXPECT_EQ(sets[0].layouts, tried.names) << "'" << content << "'";
    }
}

}  // namespace
