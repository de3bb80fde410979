#include "refdata/regcodes.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/foundation/log_capture.hpp"

namespace fs = std::filesystem;
using corv_test::writeFile;
using testing::Contains;
using testing::ElementsAre;

namespace {

MATCHER_P3(Entry, title, regcodes, special, "")
{
    return arg.title == title && arg.regcodes == std::vector<std::string>(regcodes) && arg.special == special;
}
using Regs = std::vector<std::string>;

TEST(Regcodes, XmlLiveriesWithTheirRegistrations)
{
    corv_test::LogCapture log;
    const std::string copy = "input/AIG-regcodes.xml";
    const std::string text = R"(<?xml version="1.0"?>
<AIG-regcodes>
  <livery title="KLM B738" reg="PH-BXB, PH-BXA ,PH-BXB" special="false"/>
  <livery title="KLM B738" reg="PH-BXC"/>
  <livery title="KLM 100 Years" reg="PH-BXA" special="Yes"/>
  <livery reg="D-AIUA"/>
  <livery title="easyJet old" reg=""/>
  <livery title="KLM B738" reg="PH-BXD"/>
</AIG-regcodes>)";
    writeFile(copy, text);
    std::vector<RegcodeEntry> entries{{"kept", {}, false}};
    EXPECT_FALSE(gf_readAigRegcodes(text, copy, entries));
    EXPECT_THAT(entries, ElementsAre(Entry("kept", Regs{}, false), Entry("KLM B738", Regs{"PH-BXA", "PH-BXB"}, false),
                                     Entry("KLM 100 Years", Regs{"PH-BXA"}, true), Entry("easyJet old", Regs{}, false),
                                     Entry("KLM B738", Regs{"PH-BXD"}, false)));
    EXPECT_TRUE(fs::exists("input/AIG-regcodes.xml"));  // the caller deletes it

    // A text that fails to load takes its copy along, but no file at that path which it did not write.
    const std::string cut = R"(<AIG-regcodes><livery title="A")";
    writeFile(copy, cut);
    EXPECT_FALSE(gf_readAigRegcodes(cut, "", entries));
    EXPECT_TRUE(fs::exists(copy));
    EXPECT_FALSE(gf_readAigRegcodes(cut, copy, entries));
    EXPECT_FALSE(fs::exists("input/AIG-regcodes.xml"));
    EXPECT_EQ(entries.size(), 5u);

    const auto lines = log.lines();
    EXPECT_THAT(lines, Contains("==> SAME AS PREVIOUS title 'KLM B738'"));
    EXPECT_THAT(lines, Contains("5 liveries read from AIG-regcodes"));
    EXPECT_THAT(lines, Contains("==> Failed to load input/AIG-regcodes.xml"));
}

TEST(Regcodes, TextFilesWithLinesOfEveryForm)
{
    corv_test::LogCapture log;
    std::vector<RegcodeEntry> entries;
    EXPECT_FALSE(gf_readRegcodeFiles("input/my_regcodes", entries));

    writeFile("input/my_regcodes/mine.TxT",
              "\xEF\xBB\xBFTitle only\r\n"
              "One reg; PH-ABC \r\n"
              "Two regs;PH-DEF,PH-ABC\n"
              "Two special;PH-DEF,PH-ABC;#\n"
              "Two not special;PH-ABC,PH-DEF;x\n"
              "\nNothing;\nShort one;AB\n"
              "Some short;AB,CDE,FGH\n"
              "All short;AB,CD;#\n"
              "Bad;a;b;c\n");
    writeFile("input/my_regcodes/other.csv", "Not read\n");
    writeFile("input/my_regcodes/sub/w.txt", "Not read\n");
    EXPECT_FALSE(gf_readRegcodeFiles("input/my_regcodes", entries));
    EXPECT_THAT(entries, ElementsAre(Entry("Title only", Regs{}, false), Entry("One reg", Regs{"PH-ABC"}, true),
                                     Entry("Two regs", Regs{"PH-ABC", "PH-DEF"}, false),
                                     Entry("Two special", Regs{"PH-ABC", "PH-DEF"}, true),
                                     Entry("Two not special", Regs{"PH-ABC", "PH-DEF"}, false),
                                     Entry("Some short", Regs{"CDE", "FGH"}, false)));

    writeFile("input/my_regcodes/mine.TxT", "A;PH-ABC,PH-DEF\n");
    entries.clear();
    EXPECT_TRUE(gf_readRegcodeFiles("input/my_regcodes", entries));
    EXPECT_EQ(entries.size(), 1u);

    const std::string file = "input/my_regcodes/mine.TxT";
    const auto lines = log.lines();
    EXPECT_THAT(lines, Contains(testing::StartsWith("==> Error reading regcode files in input/my_regcodes, what: ")));
    EXPECT_THAT(lines, Contains("Processing regcodes file '" + file + "'"));
    EXPECT_THAT(lines, Contains("==> wrong regcode length 'CD' in " + file));
    EXPECT_THAT(lines, Contains("==> " + file + " ; regs empty?"));
    EXPECT_THAT(lines, Contains("==> " + file + ": wrong format 'Bad;a;b;c'"));
    EXPECT_THAT(lines, Contains("6 liveries"));
    EXPECT_THAT(lines, Contains("1 livery"));
}

}  // namespace
