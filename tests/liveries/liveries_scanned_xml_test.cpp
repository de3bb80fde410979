#include "liveries/liveries_scanned_xml.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "foundation/user_error.hpp"
#include "tests/foundation/log_capture.hpp"

namespace fs = std::filesystem;
using corv_test::readFile;
using corv_test::writeFile;
using testing::Contains;
using testing::HasSubstr;

namespace {

LiveryData lf_livery(std::string airl, std::string type, std::string title, std::string atcid = "", bool cargo = false)
{
    return LiveryData{std::move(airl), std::move(type), std::move(title), std::move(atcid), 3, cargo};
}

std::vector<LiveryData> lf_asVector(const LiveryList& list) { return {list.begin(), list.end()}; }

TEST(LiveriesScannedXml, WrittenAndReadBackSortedWithoutPriority)
{
    corv_test::LogCapture log;
    LiveryList written{lf_livery("KLM", "B738", "KLM 737 PH-BXA", "PH-BXA"),
                       lf_livery("KLM", "B738", "KLM 737 PH-BXA", "PH-BXB"),  // differs only in atcid
                       lf_livery("DHL", "B752", "DHL 757", "", true), lf_livery("", "", "")};
    ASSERT_TRUE(lf_writeLiveriesScanned(written, "output/LiveriesScanned.xml"));

    const std::string text = readFile("output/LiveriesScanned.xml");
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u);
    EXPECT_THAT(text, HasSubstr("<meta>"));
    EXPECT_THAT(text, HasSubstr("  <liv airl=\"DHL\" type=\"B752\" cargo=\"true\" title=\"DHL 757\" />"));
    EXPECT_THAT(text, HasSubstr("<liv airl=\"KLM\" type=\"B738\" title=\"KLM 737 PH-BXA\" atcid=\"PH-BXB\" />"));
    EXPECT_THAT(text, testing::Not(HasSubstr("cargo=\"false\"")));
    EXPECT_THAT(text, testing::Not(HasSubstr("priority")));

    LiveryList read{lf_livery("OLD", "X", "stale")};
    lf_readLiveriesScanned(read, "output/LiveriesScanned.xml");
    const std::vector<LiveryData> got = lf_asVector(read);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].title, "");  // empty values are accepted
    EXPECT_EQ(got[1].airl, "DHL");
    EXPECT_TRUE(got[1].cargo);
    EXPECT_EQ(got[2].atcid, "PH-BXA");  // equal keys keep their file order
    EXPECT_EQ(got[3].atcid, "PH-BXB");
    for (const LiveryData& livery : got)
        EXPECT_EQ(livery.priority, 0);
    EXPECT_FALSE(got[2] == got[3]);
    LiveryData samePriorityAside = got[3];
    samePriorityAside.priority = 7;
    EXPECT_TRUE(samePriorityAside == got[3]);
    EXPECT_TRUE(gf_sameAirlineModel(got[2], got[3]));

    const auto lines = log.lines();
    EXPECT_THAT(lines, Contains("4 liveries in output/LiveriesScanned.xml"));
    EXPECT_THAT(lines, Contains("4 liveries read from output/LiveriesScanned.xml"));
}

TEST(LiveriesScannedXml, UnsortedFileAndCargoSpellings)
{
    corv_test::LogCapture log;
    writeFile("output/LiveriesScanned.xml", R"(<?xml version="1.0"?>
<meta><info name="author" value="x"/></meta>
<liveries>
  <liv airl="UPS" type="B763" title="b" cargo="0"/>
  <other airl="skipped"/>
  <liv airl="UPS" type="B763" title="a" cargo="Yes"/>
  <liv airl="AAL" type="A321" title="c" cargo="false"/>
</liveries>)");
    LiveryList read;
    lf_readLiveriesScanned(read, "output/LiveriesScanned.xml");
    const std::vector<LiveryData> got = lf_asVector(read);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].title, "c");
    EXPECT_FALSE(got[0].cargo);
    EXPECT_EQ(got[1].title, "a");
    EXPECT_TRUE(got[1].cargo);
    EXPECT_EQ(got[2].title, "b");
    EXPECT_FALSE(got[2].cargo);
}

TEST(LiveriesScannedXml, EveryReadingFailureStopsWithItsNumberAndLeavesNoList)
{
    corv_test::LogCapture log;
    struct Case {
        const char* content;  // nullptr: no file
        int number;
        const char* text;
    };
    const Case cases[] = {
        {nullptr, 51, "51: File output/LiveriesScanned.xml not found"},
        {"<liveries><liv", 51, "51: File output/LiveriesScanned.xml not found"},
        {"<meta/><other/>", 52, "52: output/LiveriesScanned.xml does not contain a <liveries> section"},
        {"<liveries><liv airl=\"A\" type=\"B\"/></liveries>", 999, "999: Missing required attribute 'title' in <liv>"},
        {"<liveries><liv airl=\"A\" title=\"T\"/></liveries>", 999, "999: Missing required attribute 'type' in <liv>"},
        {"<liveries><liv title=\"T\" type=\"B\"/></liveries>", 999, "999: Missing required attribute 'airl' in <liv>"},
        {"<liveries><x airl=\"A\" type=\"B\" title=\"T\"/></liveries>", 533,
         "533: output/LiveriesScanned.xml does not contain liveries"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        fs::remove("output/LiveriesScanned.xml");
        if (c.content != nullptr)
            writeFile("output/LiveriesScanned.xml", c.content);
        LiveryList read{lf_livery("OLD", "X", "stale")};
        try {
            lf_readLiveriesScanned(read, "output/LiveriesScanned.xml");
            ADD_FAILURE() << "no error";
        } catch (const vald::UserErrorException& e) {
            EXPECT_STREQ(e.what(), c.text);
        }
        EXPECT_TRUE(read.empty());
    }
}

TEST(LiveriesScannedXml, AnEmptyListWritesNoFile)
{
    corv_test::LogCapture log;
    EXPECT_FALSE(lf_writeLiveriesScanned(LiveryList{}, "output/LiveriesScanned.xml"));
    EXPECT_FALSE(fs::exists("output/LiveriesScanned.xml"));
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
