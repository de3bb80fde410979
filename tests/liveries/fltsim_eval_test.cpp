#include <gtest/gtest.h>

#include <algorithm>

#include "foundation/text.hpp"
#include "liveries/fltsim_eval.hpp"
#include "tests/liveries/scan_fixture.hpp"

namespace {

using corv_test::LiveryScanTest;

class FltsimEvalTest : public LiveryScanTest {
protected:
    FltsimEvalTest() : folder_(gf_pathToUtf8(dir() / "B738")) { addParts(dir() / "B738", {"model", "texture.1", "plane.air"}); }

    // The section "[fltsim.0]" with the file keys and the given lines, of a file of the model.
    FoundLiveries eval(const std::vector<std::string>& lines, const std::string& model = "B738")
    {
        CfgLines section{"[fltsim.0]", "sim=plane", "texture=1"};
        section.insert(section.end(), lines.begin(), lines.end());
        return lf_procesFltSimSection(2, section, model, file(), folder_);
    }
    std::string file() const { return folder_ + "/aircraft.cfg"; }
    const std::string& folder() const { return folder_; }

    static std::list<std::string> incomplete() { return gf_scanReportsSnapshot().incompleteSections; }

private:
    std::string folder_;
};

TEST_F(FltsimEvalTest, AirlineRegistrationAndCargoComeFromTheKeys)
{
    auto found = eval({"title=KLM one", "atc_parking_codes=KLMX, DLH", "atc_id=PH-BXA;old",
                       "atc_parking_types=GATE_HEAVY, Cargo"});
    ASSERT_EQ(found.size(), 1U);
    const LiveryData& livery = found.front().livery;
    EXPECT_EQ(livery.airl, "KLM");
    EXPECT_EQ(livery.type, "B738");
    EXPECT_EQ(livery.atcid, "PH-BXA");
    EXPECT_EQ(livery.priority, 2);
    EXPECT_TRUE(livery.cargo);

    EXPECT_EQ(eval({"title=two", "atc_parking_codes=TRA", "atc_id=PH-ABC,PH-ABD"}).front().livery.atcid, "");
    EXPECT_EQ(eval({"title=generic", "atc_parking_codes=ZZZ", "atc_id=PH-ABC"}).front().livery.atcid, "");
    // No airline: the registration's airline, else a private aircraft with a registration out of the title.
    EXPECT_EQ(eval({"title=by reg", "atc_id=PH-BXA"}).front().livery.airl, "KLM");
    const LiveryData pvt = eval({"title=Cessna G-ABC"}, "C172").front().livery;
    EXPECT_EQ(pvt.airl, "PVT");
    EXPECT_EQ(pvt.atcid, "G-ABC");
    EXPECT_EQ(eval({"title=unknown reg", "atc_id=N12345"}, "A320").front().livery.airl, "PVT");
    EXPECT_TRUE(gf_scanReportsSnapshot().invalidAirlines.empty());
    // A missing airline is reported even when the section still yields a livery.
    const std::string missing = file() + " [fltsim.0] icao_airline is missing, or it has invalid info ";
    const std::list<std::string> lines = incomplete();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), missing), 3);
}

TEST_F(FltsimEvalTest, BadValuesAreReportedAndRejectSectionsAsTheyMust)
{
    // An invalid registration is reported; the section still counts.
    EXPECT_EQ(eval({"title=star", "atc_parking_codes=KLM", "atc_id=PH-*"}).size(), 1U);
    EXPECT_EQ(eval({"title=long", "atc_parking_codes=KLM", "atc_id=PH-ABC,ABCDEFGHIJKLM"}).size(), 1U);
    // Lower-case codes are not airline codes; "RFO" drops the section without a word.
    EXPECT_EQ(eval({"title=lower", "atc_parking_codes=klm"}).front().livery.airl, "PVT");
    EXPECT_TRUE(eval({"title=rfo", "atc_parking_codes=RFO"}).empty());
    EXPECT_TRUE(eval({"title=twice", "title=twice", "atc_parking_codes=KLM"}).empty());
    EXPECT_TRUE(eval({"title=codes", "atc_parking_codes=KLM", "atc_parking_codes=DLH"}).empty());
    EXPECT_TRUE(eval({"title=ids", "atc_parking_codes=KLM", "atc_id=PH-BXA", "atc_id=PH-BXB"}).empty());
    EXPECT_TRUE(eval({"title=heavy"}, "B744").empty());
    EXPECT_TRUE(eval({"title=heavy reg", "atc_id=N999"}, "B744").empty());
    EXPECT_TRUE(eval({"atc_parking_codes=KLM"}).empty());
    EXPECT_TRUE(lf_procesFltSimSection(1, {"[fltsim.0]", "title=wrong texture", "atc_parking_codes=KLM", "sim=plane",
                                           "texture=9", "texture=1"},
                                       "B738", file(), folder())
                    .empty());
    // A name too long for the file system names no file: the section is rejected, the file goes on.
    EXPECT_TRUE(lf_procesFltSimSection(1, {"[fltsim.0]", "title=long sim", "atc_parking_codes=KLM",
                                           "sim=" + std::string(300, 'x'), "texture=1"},
                                       "B738", file(), folder())
                    .empty());
    lf_setDontUseTitles({"never"});
    EXPECT_TRUE(eval({"title=never", "atc_parking_codes=KLM"}).empty());

    const std::string& f = folder();
    const std::list<std::string> lines = incomplete();
    const std::string header = "[fltsim.0]";
    for (const std::string& line : std::vector<std::string>{
             "invalid atc_id=PH-* in: star", "invalid atc_id=PH-ABC,ABCDEFGHIJKLM in: long",
          f + " " + header + " has more than one title key", f + " " + header + " has more than one atc_parking_codes key",
          f + ", " + header + ", has more than one atc_id key", "'" + f + "' '" + header + "' has no airline and no regcode info",
          "'" + f + "' '" + header + "' has no airline and regcode not in dbase", f + " " + header + " misses title",
          gf_pathToUtf8(dir() / "B738" / "model") + " or related path does not exist: " + header})
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    EXPECT_EQ(lines.size(), 10U + 4U);  // and the missing airline of lower, twice, heavy, heavy reg
    EXPECT_EQ(gf_scanReportsSnapshot().invalidAirlines, std::list<std::string>{"klm          in " + file() + " [fltsim.0]"});
}

TEST_F(FltsimEvalTest, FilesAreFoundInAnyLetterCaseAndBehindEitherSeparator)
{
    addParts(dir() / "B738", {"Model.Lite", "shared/TEXTURE.KLM", "Sim2.Air"});
    CfgLines section{"[fltsim.1]", "title=case", "atc_parking_codes=KLM", "model=lite", "sim=..\\B738\\sim2",
                     "texture=KLM"};
    EXPECT_TRUE(lf_procesFltSimSection(1, section, "B738", file(), folder()).empty());  // texture.KLM is in shared
    section.back() = "texture=klm";
    addParts(dir() / "B738", {"texture.klm"});
    EXPECT_EQ(lf_procesFltSimSection(1, section, "B738", file(), folder()).size(), 1U);
    EXPECT_EQ(lf_resolveNoCase(dir(), "b738\\SHARED/texture.klm"), dir() / "B738" / "shared" / "TEXTURE.KLM");
}

TEST_F(FltsimEvalTest, IvaoSectionsTakeTheAirlineFromTheTitle)
{
    const auto ivao = [this](const std::vector<std::string>& lines) {
        CfgLines section{"[fltsim.0]", "sim=plane", "texture=1"};
        section.insert(section.end(), lines.begin(), lines.end());
        return lf_procesIvaoFltSimSection(1, section, "A320", file(), folder()).livery;
    };
    EXPECT_EQ(ivao({"title=KLM Airbus", "atc_id=PH-BXA;x"}).atcid, "PH-BXA;x");  // no cut at ';' here
    const LiveryData invalidId = ivao({"title=KLM Boeing", "atc_id=PH-*"});
    EXPECT_EQ(invalidId.airl, "KLM");
    EXPECT_EQ(invalidId.atcid, "");
    EXPECT_EQ(ivao({"title=  DLH Airbus", "atc_id=D-AIPA"}).airl, "DLH");
    EXPECT_EQ(ivao({"title=ZZZ Airbus", "atc_id=PH-ABC"}).atcid, "");
    EXPECT_EQ(ivao({"title=-- Private", "atc_id=G-ABC"}).airl, "BAW");
    EXPECT_EQ(ivao({"title=XYZ Airbus"}).airl, "");
    EXPECT_EQ(ivao({"title=-- Private", "atc_id=N1"}).airl, "");
    EXPECT_EQ(ivao({"title=-- Nobody"}).airl, "");
    EXPECT_TRUE(ivao({"title=KLM Cargo", "atc_parking_types=CARGO"}).cargo == false);
    const std::string& f = folder();
    const std::list<std::string> lines = incomplete();
    for (const std::string& line : std::vector<std::string>{"invalid atc_id=PH-* in KLM Boeing",
                                    f + " [fltsim.0] misses airlinecode in title: -- Private, and regcode unknown N1",
                                    f + " [fltsim.0] misses airlinecode in title: -- Nobody, and no regcode"})
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    EXPECT_EQ(gf_scanReportsSnapshot().invalidAirlines, std::list<std::string>{"XYZ          in " + file() + " [fltsim.0]"});
}

TEST_F(FltsimEvalTest, EachTitleIsClaimedOnceInTheOrderGiven)
{
    FoundLiveries found = eval({"title=same", "atc_parking_codes=KLM"});
    found.splice(found.end(), eval({"title=same", "atc_parking_codes=DLH"}));
    found.splice(found.end(), eval({"title=other", "atc_parking_codes=DLH"}));
    const LiveryList claimed = lf_claimTitles(std::move(found));
    ASSERT_EQ(claimed.size(), 2U);
    EXPECT_EQ(claimed.front().airl, "KLM");
    EXPECT_EQ(incomplete(), std::list<std::string>{folder() + " [fltsim.0] title 'same' already exists"});
    EXPECT_TRUE(lf_claimTitles(eval({"title=other", "atc_parking_codes=KLM"})).empty());
    lf_clearScanReports();
    EXPECT_EQ(lf_claimTitles(eval({"title=other", "atc_parking_codes=KLM"})).size(), 1U);
}

}  // namespace
