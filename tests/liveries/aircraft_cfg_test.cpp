#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/format.hpp"
#include "liveries/aircraft_cfg.hpp"
#include "liveries/cfg_keys.hpp"
#include "tests/liveries/scan_fixture.hpp"

namespace {

using corv_test::CfgEncoding;
using corv_test::LiveryScanTest;

std::vector<std::string> lf_titles(const LiveryList& liveries)
{
    std::vector<std::string> titles;
    for (const LiveryData& livery : liveries)
        titles.push_back(livery.title);
    return titles;
}

TEST(CfgKeysTest, KeyLinesHeaderLinesAndFolders)
{
    EXPECT_EQ(lf_cfgKeyValue("  Title =  Boeing 737 KLM \t", "title"), "Boeing 737 KLM");
    EXPECT_EQ(lf_cfgKeyValue("TITLE=x\r", "title"), "x");
    EXPECT_EQ(lf_cfgKeyValue("title=", "title"), "");
    EXPECT_EQ(lf_cfgKeyValue("title=   ", "title"), "");
    EXPECT_EQ(lf_cfgKeyValue("titles=x", "title"), "");
    EXPECT_EQ(lf_cfgKeyValue("title x", "title"), "");
    EXPECT_EQ(lf_cfgKeyValue("title=a\rb", "title"), "");
    EXPECT_EQ(lf_cfgKeyValue("atc_id=PH-BXA;old", "atc_id"), "PH-BXA;old");

    EXPECT_EQ(lf_fltsimNumberText("[fltsim.0]"), "0");
    EXPECT_EQ(lf_fltsimNumberText("  [FltSim.12]  "), "12");
    EXPECT_EQ(lf_fltsimNumberText("//[fltsim.3]"), "");
    EXPECT_EQ(lf_fltsimNumberText("[fltsim.x]"), "10000");
    EXPECT_EQ(lf_fltsimNumberText("[FLTSIM.5] ; note"), "10000");
    EXPECT_EQ(lf_fltsimNumberText("[FltSim.x]"), "");
    EXPECT_EQ(lf_fltsimNumberText("[General]"), "");

    EXPECT_EQ(lf_folderOfCfgPath("C:\\Sim\\B738\\aircraft.cfg"), "C:\\Sim\\B738");
    EXPECT_EQ(lf_folderOfCfgPath("/sim/B738/sim.cfg"), "/sim/B738");
    EXPECT_EQ(lf_folderOfCfgPath("aircraft.cfg"), "");
}

TEST_F(LiveryScanTest, HeaderNumbersAndModelCodesDecideWhetherAFileIsRead)
{
    EXPECT_TRUE(lf_checkFltsimNumbers({"[fltsim.0]", "[fltsim.1]", "[FltSim.2]", "[fltsim.1]"}, "a.cfg"));
    EXPECT_TRUE(lf_checkFltsimNumbers({"[fltsim.10000]", "[fltsim.x]"}, "b.cfg"));
    EXPECT_FALSE(lf_checkFltsimNumbers({"[fltsim.0]", "[fltsim.10001]"}, "c.cfg"));
    EXPECT_FALSE(lf_checkFltsimNumbers({"[fltsim.99999999999]"}, "d.cfg"));
    EXPECT_TRUE(lf_checkFltsimNumbers({"[General]", "atc_model=B738"}, "e.cfg"));

    EXPECT_EQ(lf_checkAtcModel("f.cfg", {"[fltsim.0]", "atc_model = B738"}), "B738");
    EXPECT_EQ(lf_checkAtcModel("g.cfg", {"[General]", "atc_model=", "atc_model=B77F"}), "B77W");
    EXPECT_EQ(lf_checkAtcModel("h.cfg", {"atc_model=XX99"}), "");
    EXPECT_EQ(lf_checkAtcModel("i.cfg", {"[General]"}), "");

    const ScanReports reports = gf_scanReportsSnapshot();
    EXPECT_EQ(reports.filesWithoutSections, std::list<std::string>{"e.cfg"});
    EXPECT_EQ(reports.invalidCfgFiles,
              (std::list<std::string>{"c.cfg contains a [fltsim.x] section with a number < 0 or > 10000",
                                      "Line atc_model= is missing in [General] section of i.cfg"}));
    EXPECT_EQ(reports.fixes, std::vector<std::string>{"Model fix: B77F found in g.cfg changed into B77W"});
    EXPECT_EQ(reports.invalidModels, std::list<std::string>{"XX99             in h.cfg"});
    const std::vector<std::string> log = logLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "==> fltsim num [fltsim.99999999999] incorrect"), log.end());
}

TEST_F(LiveryScanTest, IvaoFolderNamesGiveTheModel)
{
    aircraftTypes.insert("GLID");
    EXPECT_EQ(lf_ivaoModelFromPath("C:\\P3D\\IVAO_MTL\\IVAO_B744F\\aircraft.cfg"), "B744");
    EXPECT_EQ(lf_ivaoModelFromPath("/p3d/ivao_mtl/IVAO_A320w/Aircraft.cfg"), "A320");
    EXPECT_EQ(lf_ivaoModelFromPath("/p3d/IVAO_MTL/IVAO_GLID_KA8/aircraft.cfg"), "GLID");
    EXPECT_EQ(lf_ivaoModelFromPath("/p3d/IVAO_MTL/IVAO_B77F/aircraft.cfg"), "B77W");
    EXPECT_EQ(lf_ivaoModelFromPath("/p3d/IVAO_MTL/IVAO_ZZ99/aircraft.cfg"), "");
    EXPECT_EQ(lf_ivaoModelFromPath("/p3d/IVAO_MTL/other/aircraft.cfg"), "");
    const ScanReports reports = gf_scanReportsSnapshot();
    EXPECT_EQ(reports.invalidModels, (std::list<std::string>{"ZZ99             in /p3d/IVAO_MTL/IVAO_ZZ99/aircraft.cfg",
                                                             "                 in /p3d/IVAO_MTL/other/aircraft.cfg"}));
}

// The same aircraft in every encoding the simulator's users write, with CRLF line ends and
// folder names in another letter case than the cfg values.
TEST_F(LiveryScanTest, EveryEncodingYieldsTheSameLiveries)
{
    const std::string body = "[General]\natc_model=B738\n\n" + section(0, "KLM 737 {}", "atc_parking_codes=KLM\n") +
                             section(1, "KLM 737 {} second", "atc_parking_codes=KLM\n", "2") + "[Effects]\nx=1\n";
    const std::pair<const char*, CfgEncoding> encodings[] = {{"plain", CfgEncoding::utf8},
                                                             {"bom", CfgEncoding::utf8Bom},
                                                             {"wide", CfgEncoding::utf16Bom},
                                                             {"crlf", CfgEncoding::utf8}};
    for (const auto& [name, encoding] : encodings) {
        std::string text = vald::format(fmt::runtime(body), name, name);
        if (std::string(name) == "crlf") {
            std::string crlf;
            for (const char c : text)
                crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
            text = crlf;
        }
        const auto folder = dir() / name;
        writeCfg(folder / "aircraft.cfg", text, encoding);
        addParts(folder, {"Model", "TEXTURE.1", "texture.2", "Plane.AIR"});
        const LiveryList found = lf_claimTitles(lf_searchLiveriesinFile(3, folder / "aircraft.cfg"));
        ASSERT_EQ(found.size(), 2U) << name;
        EXPECT_EQ(found.front().title, vald::format("KLM 737 {}", name));
        EXPECT_EQ(found.front().airl, "KLM");
        EXPECT_EQ(found.front().type, "B738");
        EXPECT_EQ(found.front().priority, 3);
        EXPECT_EQ(found.back().title, vald::format("KLM 737 {} second", name));
    }
    // A title in a Windows code page keeps the file's bytes: the simulator knows it by them.
    writeCfg(dir() / "ansi" / "sim.cfg", "[fltsim.0]\natc_model=A320\ntitle=Lufthansa D\xC4LA \x80\nsim=plane\n"
                                         "atc_parking_codes=DLH\n", CfgEncoding::ansi);
    addParts(dir() / "ansi", {"model", "texture", "plane.air"});
    EXPECT_EQ(lf_titles(lf_claimTitles(lf_searchLiveriesinFile(1, dir() / "ansi" / "sim.cfg"))),
              std::vector<std::string>{"Lufthansa D\xC4LA \x80"});
    EXPECT_TRUE(gf_scanReportsSnapshot().incompleteSections.empty());
}

TEST_F(LiveryScanTest, SectionsEndAtOtherHeadersAndKeepTrailingComments)
{
    const auto folder = dir() / "ac";
    addParts(folder, {"model", "texture.1", "plane.air"});
    writeCfg(folder / "aircraft.cfg", "atc_model=A320\n[fltsim.0]\ntitle=First\natc_parking_codes=TRA\nsim=plane\n"
                                      "texture=1\n//[fltsim.3]\ntitle=Lost\n[fltsim.1]\ntitle=Second\nsim=plane\n"
                                      "texture=1\natc_parking_codes=TRA\n// old livery\n\n//\n [Sound]\ntitle=Sound\n");
    const FoundLiveries found = lf_searchLiveriesinFile(1, folder / "aircraft.cfg");
    ASSERT_EQ(found.size(), 2U);
    EXPECT_EQ(found.front().livery.title, "First");
    EXPECT_EQ(found.back().livery.title, "Second");
    EXPECT_TRUE(lf_searchLiveriesinFile(1, folder / "missing.cfg").empty());
}

}  // namespace
