// What a download may touch and what it may place, on the site stand-in over loopback HTTP: a
// name beside the target that a user's file or link holds is never opened, a data file takes its
// place only when the reader that loads it reads it, and a close ends a body that trickles in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "foundation/safe_write.hpp"
#include "tests/refdata/download_site_standin.hpp"
#include "tests/refdata/sealed_files.hpp"

namespace fs = std::filesystem;
using corv_test::readFile;
using corv_test::versionObject;
using corv_test::writeFile;
using testing::Contains;
using testing::HasSubstr;
using testing::Not;

namespace {

const std::string DATA_FILES[] = {"airports.enc", "AIG-regcodes.enc", "dbase.enc"};

class DownloadRulesTest : public corv_test::DownloadSiteTest {
protected:
    // Each data file one version newer than the stored one, which becomes 1.0.<patch - 1>.
    void publishDataPatch(int patch) const
    {
        for (StringParameter* version : {&AIRPORTS_VERSION, &AIG_VERSION, &DBASE_VERSION})
            version->setValue("1.0." + std::to_string(patch - 1));
        publish({{"airports", versionObject(1, 0, patch)}, {"aig", versionObject(1, 0, patch)},
                 {"dbase", versionObject(1, 0, patch)}});
    }
    std::string versions() const
    {
        return AIRPORTS_VERSION.value() + " " + AIG_VERSION.value() + " " + DBASE_VERSION.value();
    }
};

TEST_F(DownloadRulesTest, NothingBesideTheTargetIsTouchedOnlyTheDocumentIsPlacedAndACloseEndsTheDownload)
{
    const corv_test::TempDir outside;
    writeFile(outside / "my-notes.txt", "my notes");
    writeFile("my-list.txt", "my list");
    // Links and a second name of a user's file, where earlier versions wrote the download first.
    fs::create_symlink(outside / "my-notes.txt", "input/dbase.enc.part");
    fs::create_symlink(outside / "nowhere.txt", "input/airports.enc.part");
    fs::create_hard_link("my-list.txt", "input/AIG-regcodes.enc.part");
    publishDataPatch(1);
    EXPECT_TRUE(gf_checkVersions());

    for (const std::string& name : DATA_FILES)
        EXPECT_TRUE(readFile("input/" + name) == readFile(site() / "11" / name)) << name;
    EXPECT_EQ(versions(), "1.0.1 1.0.1 1.0.1");
    EXPECT_EQ(fs::read_symlink("input/dbase.enc.part"), outside / "my-notes.txt");
    EXPECT_EQ(readFile(outside / "my-notes.txt"), "my notes");
    EXPECT_EQ(fs::read_symlink("input/airports.enc.part"), outside / "nowhere.txt");
    EXPECT_FALSE(fs::exists(outside / "nowhere.txt"));
    EXPECT_EQ(readFile("my-list.txt"), "my list");
    EXPECT_EQ(fs::hard_link_count("my-list.txt"), 2u);

    // Each data file answered with another one's body (all share the key), texts broken by a NUL
    // byte, and documents without a usable record: the old files and versions stay.
    std::map<std::string, std::string> good;
    for (const std::string& name : DATA_FILES)
        good[name] = readFile(site() / "11" / name);
    std::vector<std::map<std::string, std::string>> swaps = {
        {{"dbase.enc", good["airports.enc"]},
         {"airports.enc", good["dbase.enc"]},
         {"AIG-regcodes.enc", good["dbase.enc"]}},
        {{"dbase.enc", good["AIG-regcodes.enc"]},
         {"airports.enc", corv_test::sealStream(std::string("<airports/\0>\n", 13))},
         {"AIG-regcodes.enc", corv_test::sealStream("<AIG-regcodes/>")}},
        {{"airports.enc", corv_test::sealStream(R"(<airports><airport code="EHAM"/></airports>)")}}};
    for (const bool inside : {false, true})
        for (std::map<std::string, std::string>& swap = swaps.emplace_back(); const std::string& name : DATA_FILES)
            swap[name] = corv_test::sealStream(corv_test::sampleWithNul(fs::path(name).stem().string(), inside));
    for (const auto& swap : swaps) {
        for (const auto& [name, body] : swap)
            writeFile(site() / "11" / name, body);
        publishDataPatch(2);
        EXPECT_TRUE(gf_checkVersions());
        for (const std::string& name : DATA_FILES)
            EXPECT_TRUE(readFile("input/" + name) == good[name]) << name;
        EXPECT_EQ(versions(), "1.0.1 1.0.1 1.0.1");
    }
    // A title repeated in a row is only skipped by the reader at start-up: that file is placed.
    const std::string repeated = corv_test::sealStream(
        R"(<AIG-regcodes><livery title="A" reg="PH-BXA"/><livery title="A" reg="PH-BXB"/></AIG-regcodes>)");
    writeFile(site() / "11" / "AIG-regcodes.enc", repeated);
    publishDataPatch(3);
    EXPECT_TRUE(gf_checkVersions());
    EXPECT_TRUE(readFile("input/AIG-regcodes.enc") == repeated);
    EXPECT_EQ(AIG_VERSION.value(), "1.0.3");

    // A close while a newer file trickles in ends its download: old file and version stay, no body.
    for (const std::string& name : DATA_FILES)
        writeFile(site() / "11" / name, good[name]);
    corv_test::writeSealed((site() / "11" / "airports.enc").string(),
                           R"(<airports><airport code="EHAM" iata="AMS" lat="52.3" lon="4.76" alt="-11"/></airports>)");
    publishDataPatch(2);
    addFault({{"endpoint", "/downloads/11/airports.enc"}, {"paceBytesPerSecond", 2}, {"times", 1}});
    const std::size_t asked = downloads().size();
    std::thread closer = corv_test::closeOnceADownloadHasBegun("input", "airports.enc");
    EXPECT_TRUE(gf_checkVersions());
    closer.join();
    EXPECT_EQ(corv_test::temporariesIn("input"), 0u);
    EXPECT_TRUE(readFile("input/airports.enc") == good["airports.enc"]);
    EXPECT_EQ(AIRPORTS_VERSION.value(), "1.0.1");
    EXPECT_EQ(downloads().size(), asked + 2) << "versions.json and airports.enc: the data files after it wait";

    const auto lines = logLines();
    const auto refused = [this](const std::string& name, const std::string& reason) {
        return "input/" + name + " not replaced by the download of '" + url("11/" + name) + "': " + reason;
    };
    EXPECT_THAT(lines, Contains(refused("dbase.enc", "61: In XML file section [aircrafts], element [aircraft], "
                                                     "attribute [types] is empty.")));
    EXPECT_THAT(lines, Contains(refused("airports.enc", "Missing <airports> root in: airports.xml")));
    EXPECT_THAT(lines, Contains(refused("AIG-regcodes.enc", "it has no <AIG-regcodes> root")));
    const std::string nul = "Text contains a NUL byte";
    EXPECT_THAT(lines, Contains(refused("airports.enc", "airports.xml not loaded: " + nul)));
    for (const std::string name : {"dbase.enc", "AIG-regcodes.enc"})
        EXPECT_THAT(lines, Contains(refused(name, "its XML does not parse: " + nul)));
    EXPECT_THAT(lines, Contains(refused("AIG-regcodes.enc", "it names no livery")));
    EXPECT_THAT(lines, Contains(refused("airports.enc", "it holds no usable airport")));
    EXPECT_THAT(lines, Not(Contains(HasSubstr("updated to 1.0.2"))));

    EXPECT_THAT(lines, Contains("Download error: 'Operation was aborted by an application callback' for " +
                                url("11/airports.enc")));
}

}  // namespace
