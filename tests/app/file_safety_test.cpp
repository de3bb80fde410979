// The user's files at the program's start: the temporaries of a write that an earlier run left
// unfinished are removed from every folder the program writes to, and nothing else is.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/data_startup.hpp"
#include "foundation/constants.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using corv_test::writeFile;

TEST(AppFileSafetyTest, StartRemovesLeftoverTemporariesInEveryWrittenFolderAndKeepsTheUsersFiles)
{
    corv_test::TempDir dir(true);
    corv_test::ScopedEnv config("XDG_CONFIG_HOME", (dir / "config").string());
    const fs::path learnedDeep = LEARNED_THIRDPARTY_FOLDER / "orbx" / "EH";
    const fs::path leftovers[] = {
        MY_PARK_AIRPORTS_PATH.string() + ".corvtmp-1-0",
        gf_parametersPath().string() + ".corvtmp-2-5",
        (learnedDeep / "EHAM.xml.corvtmp-3-1"),
        (OUTPUT_FOLDER / "LiveriesScanned.xml.corvtmp-4-0"),
        (INPUT_FOLDER / "dbase.xml.corvtmp-5-0"),
        (TBLO_FOLDER_PATH / "EHAM.xml.corvtmp-6-2"),
        fs::path("Log.txt.corvtmp-7-0"),
        (NEW_VERSION_FOLDER / "ReleaseNotes.pdf.corvtmp-8-0"),  // a download's
    };
    for (const fs::path& file : leftovers)
        writeFile(file, "half");
    const fs::path kept[] = {MY_PARK_AIRPORTS_PATH, learnedDeep / "EHAM.xml", MY_THIRDPARTY_FOLDER / "EHAM.xml",
                             fs::path("notes.corvtmp.txt"), INPUT_FOLDER / "dbase.enc.part"};
    for (const fs::path& file : kept)
        writeFile(file, "mine");

    lf_createDataFolders();
    lf_removeLeftoverTemporaries();
    for (const fs::path& file : leftovers)
        EXPECT_FALSE(fs::exists(file)) << file;
    for (const fs::path& file : kept)
        EXPECT_EQ(corv_test::readFile(file), "mine") << file;
}

}  // namespace
