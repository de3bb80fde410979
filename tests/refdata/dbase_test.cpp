#include "refdata/dbase.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "refdata/type_queries.hpp"
#include "tests/foundation/log_capture.hpp"
#include "tests/refdata/sealed_files.hpp"

namespace fs = std::filesystem;
using namespace corv_test;
using testing::Contains;
using testing::ElementsAre;

namespace {

constexpr double NM_PER_M = 0.0005399568034557236;

class Dbase : public testing::Test {
protected:
    LogCapture log;
    Dbase() { gf_clearDbaseTables(); }
    ~Dbase() override { gf_clearDbaseTables(); }
    static bool read(const std::map<std::string, std::string>& changes = {})
    {
        writeSealed("input/dbase.enc", dbaseXml(changes));
        return gf_readDbase();
    }
};

TEST_F(Dbase, ReadsEverySectionAndKeepsTheFirstOfDuplicates)
{
    ASSERT_TRUE(read({
        {"heavy", R"(<hvy types="B744,,B748,"/><hvy types=""/><hvy/>)"},
        {"similar_types", R"(<similar types="A321,A319,A320"/><similar/>)"},
        {"publishers", R"(<pub names="Orbx,ORBX"/><pub names="FlyTampa,Fly Tampa"/><pub names="Orbx,ORBX"/>)"},
        {"fixes", R"(<fx wro="A32N" cor="A320"/><fx wro="A32N" cor="B738"/><fx wro="B78" cor="B788"/><fx cor="A320"/>)"},
        {"thirdpartiesP3D", R"(<thirdpartieP3D pub="FlyTampa" arpts="EHAM,EBBR"/><thirdpartieP3D/>)"},
        {"dbase", R"(<db reg="PH-BXA" airl="KLM" type="B738" opr="KLM" cargo="no"/><db reg="PH-CKA" cargo="Yes"/>)"
                  R"(<db reg="PH-BXA" airl="TRA"/><db airl="KLM" type="B738"/><db reg="" airl="KLM"/>)"},
    }));
    // Empty pieces of a comma list count; empty attributes add nothing.
    EXPECT_EQ(heavyTypes, (StringSet{"", "B744", "B748"}));
    EXPECT_EQ(cargoOperators, StringSet{"MPH"});
    EXPECT_THAT(similarGroups, ElementsAre(ElementsAre("A319", "A320", "A321"), ElementsAre()));
    EXPECT_THAT(publisherGroups, ElementsAre(ElementsAre("FlyTampa", "Fly Tampa"), ElementsAre("Orbx", "ORBX")));
    EXPECT_EQ(modelFixes, (std::unordered_map<std::string, std::string>{{"A32N", "A320"}}));
    ASSERT_EQ(thirdpartyRecords.size(), 2u);
    EXPECT_THAT(thirdpartyRecords[0].airports, ElementsAre("EHAM", "EBBR"));
    EXPECT_EQ(thirdpartyRecords[1].publisher, "");
    // Records without registration would be found in every title: they are not stored.
    ASSERT_EQ(dbaseRecords.size(), 2u);
    EXPECT_EQ(dbaseRecords.at("PH-BXA").airl, "KLM");
    EXPECT_FALSE(dbaseRecords.at("PH-BXA").cargo);
    EXPECT_TRUE(dbaseRecords.at("PH-CKA").cargo);
    EXPECT_FALSE(fs::exists("input/dbase.xml"));

    const auto lines = log.lines();
    for (const char* line : {
             "2 publishers read",
             "==> wrong part of fix: 'A32N', already exists, skipped",
             "==> wrong fix B78 -> B788, the latter is not valid",
             "==> wrong fix  -> A320, the latter is not valid",
             "==> regcode PH-BXA already exists",
             "==> 2 dbase records without registration skipped",
             "2 dbase records read"})
        EXPECT_THAT(lines, Contains(line));
}

TEST_F(Dbase, FailuresLeaveNoPlainFileAndNoHalfReadTables)
{
    ASSERT_TRUE(read());
    writeSealed("input/dbase.enc", "<aircrafts><aircraft types=\"X\"></aircrafts>");
    EXPECT_FALSE(gf_readDbase());
    EXPECT_TRUE(aircraftTypes.contains("A320"));  // a file that does not parse changes nothing
    EXPECT_FALSE(fs::exists("input/dbase.xml"));

    writeSealed("input/dbase.enc", dbaseXml({{"cargo_operators", "-"}}));
    EXPECT_EQ(thrownMessage(gf_readDbase),
              "61: In XML file section [cargo_operators], element [ICAO], attribute [codes] is empty.");
    writeSealed("input/dbase.enc", dbaseXml({{"rotorcraft", R"(<rot types=""/>)"}}));
    EXPECT_EQ(thrownMessage(gf_readDbase), "61: In XML file section [rotorcraft], element [rot], attribute [types] is empty.");
    EXPECT_FALSE(fs::exists("input/dbase.xml"));
    EXPECT_TRUE(aircraftTypes.empty());

    writeFile("input/dbase.enc", sealStream(dbaseXml()).substr(0, 100));
    EXPECT_EQ(thrownMessage(gf_readDbase), "input/dbase.enc stream decrypt failed");
    EXPECT_FALSE(fs::exists("input/dbase.xml"));
    fs::remove("input/dbase.enc");
    EXPECT_EQ(thrownMessage(gf_readDbase), "input/dbase.enc not available");
}

TEST_F(Dbase, WingspansAreHalfSpansInNauticalMilesWithCategoryMeans)
{
    ASSERT_TRUE(read({{"aircrafts", R"(<aircraft types="A320,B738,B744,B748,C172,C56X,EC35,F16"/>)"},
                      {"heavy", R"(<hvy types="B744,B748"/>)"},
                      {"wingspans", R"(<wingspan type="A320" meters="35.8"/><wingspan type="B738" meters="34.2"/>)"
                                    R"(<wingspan type="B744" meters="64.4"/><wingspan type="B744" meters="90"/>)"
                                    R"(<wingspan type="B748" meters="68.4"/><wingspan type="C172" meters="11"/>)"
                                    R"(<wingspan type="XXXX" meters="20"/>)"}}));
    EXPECT_DOUBLE_EQ(gf_typeWingspan("A320"), 0.009665226781857451);
    // The first entry of a type stays; the larger one still counts for the maximum.
    EXPECT_DOUBLE_EQ(gf_typeWingspan("B744"), 32.2 * NM_PER_M);
    EXPECT_DOUBLE_EQ(maxHalfWingspan, 45.0 * NM_PER_M);
    EXPECT_DOUBLE_EQ(gf_typeWingspan("B77W"), 5.5 * NM_PER_M);  // unknown type: the Light mean
    EXPECT_DOUBLE_EQ(meanHalfWingspan[static_cast<int>(AircraftCategory::Heavy)], (64.4 + 68.4) / 4 * NM_PER_M);
    // Categories without any entry take the mean of all types instead of 0/0.
    EXPECT_DOUBLE_EQ(gf_typeWingspan("C56X"), (35.8 + 34.2 + 64.4 + 68.4 + 11.0) / 10 * NM_PER_M);
    EXPECT_DOUBLE_EQ(gf_typeWingspan("EC35"), gf_typeWingspan("C56X"));
    EXPECT_THAT(log.lines(), Contains("==> wingspan model XXXX is not valid, skipped"));

    ASSERT_TRUE(read({{"wingspans", R"(<wingspan type="XXXX" meters="20"/>)"}}));
    EXPECT_EQ(maxHalfWingspan, 0.0);
    EXPECT_EQ(gf_typeWingspan("B744"), 0.0);
}

TEST_F(Dbase, CategoryIsTheFirstSetInAFixedOrder)
{
    ASSERT_TRUE(read({{"aircrafts", R"(<aircraft types="T1,T2,T3,T4,T5"/>)"}, {"large", R"(<lar types="T1"/>)"},
                      {"heavy", R"(<hvy types="T1,T2"/>)"}, {"buzjet", R"(<bzj types="T2,T3"/>)"},
                      {"rotorcraft", R"(<rot types="T3,T4"/>)"}, {"high_performance", R"(<hpf types="T4,T5,"/>)"},
                      {"ICAO_airlines", R"(<ICAO codes="KLM,"/>)"}}));
    EXPECT_EQ(gf_typeCategory("T1"), AircraftCategory::Large);
    EXPECT_EQ(gf_typeCategory("T2"), AircraftCategory::Heavy);
    EXPECT_EQ(gf_typeCategory("T3"), AircraftCategory::Buzjets);
    EXPECT_EQ(gf_typeCategory("T4"), AircraftCategory::Rotorcraft);
    EXPECT_EQ(gf_typeCategory("T5"), AircraftCategory::HighPerf);
    EXPECT_EQ(gf_typeCategory("t5"), AircraftCategory::Light);
    // The empty code is in the sets here, but queries never know it.
    EXPECT_FALSE(gf_isKnownType(""));
    EXPECT_TRUE(gf_isKnownType("T1"));
    EXPECT_FALSE(gf_isIcaoAirline(""));
    EXPECT_TRUE(gf_isIcaoAirline("KLM"));
    EXPECT_FALSE(gf_isIcaoAirline("klm"));
}

}  // namespace
