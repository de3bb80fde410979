// Registration look-ups and similar-type tables over tables set up in memory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "refdata/registration.hpp"
#include "refdata/type_queries.hpp"

using testing::ElementsAre;
using testing::UnorderedElementsAre;

namespace {

class Lookups : public testing::Test {
protected:
    Lookups() { gf_clearDbaseTables(); }
    ~Lookups() override
    {
        gf_clearDbaseTables();
        gf_resetSimilarModels();
    }
};

TEST_F(Lookups, RegistrationVariantsAddTheDashAfterOneOrTwoCharacters)
{
    EXPECT_THAT(gf_registrationVariants("DABCD"), ElementsAre("DA-BCD", "D-ABCD", "DABCD"));
    EXPECT_THAT(gf_registrationVariants("PHBX"), ElementsAre("PHBX"));
    EXPECT_THAT(gf_registrationVariants("N12345"), ElementsAre("N12345"));
    EXPECT_THAT(gf_registrationVariants("PHBX-A"), ElementsAre("PHBX-A"));
}

TEST_F(Lookups, FindRegcodeTriesTheVariantsInOrder)
{
    dbaseRecords = {{"D-ABCD", {"DLH", "A320", "Lufthansa", false}}, {"DA-BCD", {"XXX", "B738", "Other", true}},
                    {"PHBXA", {"KLM", "B738", "KLM", false}},        {"N123AB", {"UAL", "B789", "United", false}},
                    {"", {"EMP", "C172", "Empty", false}},           {"JA01", {"ANA", "B789", "", false}}};
    EXPECT_EQ(gf_findRegcode("DABCD")->airl, "XXX");
    EXPECT_EQ(gf_findRegcode("D-ABCD")->airl, "DLH");
    EXPECT_EQ(gf_regcodeAirline("PHBXA"), "KLM");
    EXPECT_EQ(gf_regcodeOperator("N123AB"), "United");
    EXPECT_FALSE(gf_findRegcode("PH-BXA").has_value());
    EXPECT_FALSE(gf_findRegcode("").has_value());
    EXPECT_EQ(gf_regcodeAirline(""), "");

    dbaseRecords.erase("");
    EXPECT_EQ(gf_findShortRegcodeIn("Boeing 787 ANA JA01"), std::optional<std::string>("JA01"));
    EXPECT_FALSE(gf_findShortRegcodeIn("Boeing 737 DA-BCD D-ABCD").has_value());  // 6 characters are too long
}

TEST_F(Lookups, SimilarModelsOfferInstalledMembersOfTheGroup)
{
    similarGroups = {{"A318", "A319", "A320", "A321"}, {"B737", "B738", "B739"}, {"B772", "B77L"}, {"A20N", "A320"}};
    const std::set<std::pair<std::string, std::string>> installed = {
        {"KLM", "B738"}, {"KLM", "B739"}, {"DLH", "A320"}, {"DLH", "A321"}, {"EWG", "A20N"}, {"GEC", "B77L"}};
    gf_setLiveryIndexQueries({[&](const std::string& type) {
                                  return std::any_of(installed.begin(), installed.end(),
                                                     [&](const auto& entry) { return entry.second == type; });
                              },
                              [] { return std::vector<std::string>{"KLM", "DLH", "GEC"}; },
                              [&](const std::string& airline, const std::string& type) {
                                  return installed.contains({airline, type});
                              }});
    gf_buildSimilarModels();

    EXPECT_THAT(substituteTypes.at("A318"), ElementsAre("A320", "A321"));
    // A320 is in two groups: "A320,A20N" sorts before "A320,A321" and wins.
    EXPECT_THAT(substituteTypes.at("A320"), ElementsAre("A20N"));
    EXPECT_THAT(substituteTypes.at("B772"), ElementsAre("B77L"));
    EXPECT_FALSE(substituteTypes.contains("B77L"));  // no other member is installed

    EXPECT_THAT(gf_findSimilarModels({"KLM", "B737"}), UnorderedElementsAre("B738", "B739"));
    EXPECT_TRUE(gf_findSimilarModels({"KLM", "B738"}).empty());  // KLM has B738 itself
    EXPECT_TRUE(gf_findSimilarModels({"KLM", "A320"}).empty());  // KLM has no A20N
    EXPECT_THAT(gf_findSimilarModels({"DLH", "A319"}), UnorderedElementsAre("A320", "A321"));
    EXPECT_THAT(gf_findSimilarModels({"GEC", "B772"}), ElementsAre("B77L"));
    EXPECT_TRUE(gf_findSimilarModels({"AFR", "B737"}).empty());
}

TEST_F(Lookups, PickOneAsListKeepsTheLastCodeWhenTheSupplierHasNone)
{
    EXPECT_THAT(gf_pickOneAsList([] { return std::string("C172"); }), ElementsAre("C172"));
    EXPECT_TRUE(gf_pickOneAsList([] { return std::string(); }).empty());
    EXPECT_THAT(oneTypeList, ElementsAre("C172"));
}

}  // namespace
