// parameters.xml on disk: loading absent, partial, broken and odd files, single saves, the
// typed look-ups, the meta block and saves from several threads at once.
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "foundation/parameter_controls.hpp"
#include "foundation/parameter_store.hpp"
#include "tests/foundation/param_fixture.hpp"

namespace fs = std::filesystem;
using corv_test::Entry;
using corv_test::readFile;
using corv_test::writeFile;

namespace {

// What a new file must hold: the load lists in order, without folder entries, at defaults.
std::vector<Entry> expectedNewFile()
{
    const ParameterLists& lists = gf_startupParameterLists();
    std::vector<Entry> expected;
    for (const CheckBoxParameter* p : lists.checkBoxes)
        expected.emplace_back(p->name(), p->defaultValue() ? "true" : "false");
    for (const IntParameter* p : lists.ints)
        expected.emplace_back(p->name(), std::to_string(p->defaultValue()));
    for (const ComboParameter* p : lists.combos)
        expected.emplace_back(p->name(), std::to_string(p->defaultValue()));
    for (const StringParameter* p : lists.strings)
        if (p->name().find("folder") == std::string::npos)
            expected.emplace_back(p->name(), "");
    expected.emplace_back(BLOCK_CALLSIGN.name(), "");
    return expected;
}

}  // namespace

class ParamStoreTest : public corv_test::ParamTest {};

TEST_F(ParamStoreTest, AbsentFileIsCreatedWithEveryDefaultInListOrder)
{
    vald::gf_controls().create(SCAN_LIVERIES.controlId(), vald::ControlKind::CheckBox);
    vald::gf_controls().create(AIRBORNE_ONLY.controlId(), vald::ControlKind::CheckBox);
    vald::gf_controls().create(RANGE.controlId(), vald::ControlKind::Combo);
    AIRBORNE_ONLY.setValue(true);  // left over in memory: the defaults must win
    gf_loadAllParameters();

    const std::vector<Entry> expected = expectedNewFile();
    EXPECT_EQ(expected.size(), 22u + 14u + 10u + 8u + 1u);
    EXPECT_EQ(entries(), expected);
    const std::string text = readFile(paramsPath());
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<parameters>\n  <parameter ", 0), 0u) << text;

    EXPECT_TRUE(vald::gf_controls().checked(SCAN_LIVERIES.controlId()));
    EXPECT_FALSE(vald::gf_controls().checked(AIRBORNE_ONLY.controlId()));
    EXPECT_EQ(vald::gf_controls().text(RANGE.controlId()), "40");
    EXPECT_EQ(objectQueryRadiusM.load(), 40 * 1852 + 10000);
    EXPECT_EQ(MAX_FIT_FL.value(), 24.0f);

    EXPECT_EQ(countLog(paramsPath().string() + " not found, default values taken:"), 1u);
    EXPECT_EQ(countLog("AIRBORNE_ONLY=false"), 1u);
    EXPECT_EQ(countLog("version update"), 0u);
    EXPECT_EQ(countLog(std::string(80, '*')), 1u);
}

TEST_F(ParamStoreTest, SecondStartRecordsTheProgramVersionAndKeepsEveryEntry)
{
    gf_loadAllParameters();
    gf_resetParametersForTest();
    gf_loadAllParameters();
    std::vector<Entry> expected = expectedNewFile();
    for (Entry& e : expected)
        if (e.first == "PROGRAM_VERSION")
            e.second = "11.9.2";
    EXPECT_EQ(entries(), expected);
}

TEST_F(ParamStoreTest, PartialFileIsCompletedAtItsEndAndForeignEntriesStay)
{
    writeParams(entry("OLD_THING", "x") + entry("RANGE", "25") + entry("SIM_TIME", "true"));
    EXPECT_FALSE(gf_loadParameters(gf_startupParameterLists()));
    EXPECT_EQ(RANGE.value(), 25);
    EXPECT_TRUE(SIM_TIME.value());
    const std::vector<Entry> all = entries();
    ASSERT_EQ(all.size(), 3u + 55u - 2u);
    EXPECT_EQ(all[0], Entry("OLD_THING", "x"));
    EXPECT_EQ(all[1], Entry("RANGE", "25"));
    EXPECT_EQ(all[2], Entry("SIM_TIME", "true"));
    EXPECT_EQ(all[3], Entry("KEEP_SIM_TIME_PAR", "false"));  // the first missing one in list order
}

TEST_F(ParamStoreTest, MalformedFileSurvivesAsOlderGenerationBeforeDefaultsReplaceIt)
{
    const std::string broken = "<?xml version=\"1.0\"?>\n<parameters><parameter name=\"RANGE\" value=\"25\">\n";
    writeFile(paramsPath(), broken);
    writeFile(paramsPath().parent_path() / "parameters0.xml", "older");
    gf_loadAllParameters();
    EXPECT_EQ(readFile(paramsPath().parent_path() / "parameters0.xml"), broken);
    EXPECT_EQ(readFile(paramsPath().parent_path() / "parameters00.xml"), "older");
    EXPECT_EQ(RANGE.value(), 40);
    EXPECT_EQ(entries().size(), 55u);
}

TEST_F(ParamStoreTest, ElementsNestedInsideAnEntryMakeTheFileMalformed)
{
    // Saved back as it was, every start would add the indentation of each level to each line.
    std::string nested = "<parameters><parameter name=\"RANGE\" value=\"25\">";
    for (int i = 0; i < 2000; ++i)
        nested += "<a>";
    for (int i = 0; i < 2000; ++i)
        nested += "</a>";
    nested += "</parameter></parameters>";
    writeFile(paramsPath(), nested);
    gf_loadAllParameters();
    EXPECT_EQ(readFile(paramsPath().parent_path() / "parameters0.xml"), nested);
    EXPECT_EQ(RANGE.value(), 40);
    EXPECT_EQ(entries().size(), 55u);
    EXPECT_LT(fs::file_size(paramsPath()), 8000u);

    // A single save treats it the same way.
    writeFile(paramsPath(), "<parameters><parameter name=\"RANGE\" value=\"25\"><x/></parameter></parameters>");
    gf_saveIntParameter(RANGE);
    EXPECT_EQ(entries(), std::vector<Entry>{Entry("RANGE", "40")});
}

TEST_F(ParamStoreTest, SingleSaveOverAMalformedFileKeepsItFirst)
{
    writeFile(paramsPath(), "<parameters><oops></parameters>");
    RANGE.setValue(65);
    gf_saveIntParameter(RANGE);
    EXPECT_EQ(readFile(paramsPath().parent_path() / "parameters0.xml"), "<parameters><oops></parameters>");
    EXPECT_EQ(entries(), std::vector<Entry>{Entry("RANGE", "65")});

    // One that cannot be kept aside (its generation's place is taken) is not written over.
    fs::remove(paramsPath().parent_path() / "parameters0.xml");
    fs::create_directory(paramsPath().parent_path() / "parameters0.xml");
    writeFile(paramsPath(), "<parameters><lost></parameters>");
    gf_saveIntParameter(RANGE);
    EXPECT_TRUE(gf_loadParameters(gf_startupParameterLists()));
    EXPECT_EQ(readFile(paramsPath()), "<parameters><lost></parameters>");
}

TEST_F(ParamStoreTest, WrongRootIsReadAsDefaultsAndNotOverwritten)
{
    writeFile(paramsPath(), "<settings><parameter name=\"RANGE\" value=\"25\"/></settings>");
    EXPECT_FALSE(gf_loadParameters(gf_startupParameterLists()));
    EXPECT_EQ(RANGE.value(), 40);
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(paramsPath().c_str()));
    EXPECT_STREQ(document.select_node("/settings/parameter").node().attribute("value").value(), "25");
    EXPECT_TRUE(entries().empty());
    EXPECT_FALSE(fs::exists(paramsPath().parent_path() / "parameters0.xml"));
}

TEST_F(ParamStoreTest, FirstOfDuplicateEntriesIsReadAndSaved)
{
    writeParams(entry("RANGE", "25") + entry("RANGE", "50"));
    EXPECT_FALSE(gf_loadParameters(gf_startupParameterLists()));
    EXPECT_EQ(RANGE.value(), 25);
    RANGE.setValue(30);
    gf_saveIntParameter(RANGE);
    std::vector<std::string> ranges;
    for (const Entry& e : entries())
        if (e.first == "RANGE")
            ranges.push_back(e.second);
    EXPECT_EQ(ranges, (std::vector<std::string>{"30", "50"}));
}

TEST_F(ParamStoreTest, ValuesOutsideLimitsOrUnreadableAreClampedAndBoolsReadLeniently)
{
    writeParams(entry("RANGE", "150") + entry("AIRP_RANGE", "abc") + entry("MAIN_WINDOW_X", "-99999") +
                entry("SIM_TIME", "yes") + entry("WEEK", "1") + entry("LEARN_SOFT", "no") +
                entry("GUID_CHANGES", "") + "<parameter name=\"AUTO_RANGE\"/>\n" + entry("LAST_EPOCH_TIME", "77") +
                entry("LAST_EPOCH_TIME:", "1700000000"));
    EXPECT_FALSE(gf_loadParameters(gf_startupParameterLists()));
    EXPECT_EQ(RANGE.value(), 100);
    EXPECT_EQ(AIRP_RANGE.value(), 5);
    EXPECT_EQ(MAIN_WINDOW_X.value(), -30000);
    EXPECT_TRUE(SIM_TIME.value());
    EXPECT_TRUE(WEEK.value());
    EXPECT_FALSE(LEARN_SOFT.value());
    EXPECT_FALSE(GUID_CHANGES.value());
    EXPECT_FALSE(AUTO_RANGE.value());
    EXPECT_EQ(LAST_EPOCH_TIME.value(), 1700000000);
}

TEST_F(ParamStoreTest, EmptyFolderEntriesAreDroppedAndOthersKept)
{
    writeParams(entry("lfolder2", "/sim/SimObjects") + entry("lfolder3", ""));
    EXPECT_FALSE(gf_loadParameters(gf_startupParameterLists()));
    EXPECT_EQ(lfolder2.value(), "/sim/SimObjects");
    EXPECT_EQ(valueInFile("lfolder2"), "/sim/SimObjects");
    EXPECT_EQ(valueInFile("lfolder3"), "<missing>");
    EXPECT_EQ(valueInFile("afolder0"), "<missing>");
    EXPECT_EQ(countLog("Parameter 'lfolder3' removed"), 1u);
    EXPECT_EQ(countLog("removed"), 1u);
}

TEST_F(ParamStoreTest, SingleSavesUpdateAppendOrCreate)
{
    gf_saveBoolParameter(WEEK);  // no file yet: a file with this one entry
    EXPECT_EQ(entries(), std::vector<Entry>{Entry("WEEK", "false")});

    writeParams(entry("RANGE", "25") + "<parameter name=\"DESTINATION\"/>\n");
    CUSTOM_MAX_PARK.setValue(-1);
    gf_saveIntParameter(CUSTOM_MAX_PARK);
    SIM_TIME.setValue(true);
    gf_saveBoolParameter(SIM_TIME);
    gf_setStringParameter(DESTINATION, "EHAM");
    gf_setStringParameter(BLOCK_CALLSIGN, "KLM<&\"1");
    EXPECT_EQ(entries(), (std::vector<Entry>{{"RANGE", "25"},
                                             {"DESTINATION", ""},
                                             {"CUSTOM_MAX_PARK", "-1"},
                                             {"SIM_TIME", "true"},
                                             {"BLOCK_CALLSIGN", "KLM<&\"1"}}));
    pugi::xml_document document;
    ASSERT_TRUE(document.load_file(paramsPath().c_str()));
    EXPECT_FALSE(document.select_node("/parameters/parameter[@name='DESTINATION']").node().attribute("value"));
    EXPECT_EQ(DESTINATION.value(), "EHAM");
    EXPECT_TRUE(gf_removeParameter(SIM_TIME));
    EXPECT_FALSE(gf_removeParameter(SIM_TIME));

    stopRequested = true;  // a save while stopping still writes, but logs nothing
    MAX_HOLDING_MINUTES.setValue(33);
    gf_saveIntParameter(MAX_HOLDING_MINUTES);
    EXPECT_EQ(valueInFile("MAX_HOLDING_MINUTES"), "33");
    EXPECT_EQ(valueInFile("SIM_TIME"), "<missing>");
    EXPECT_EQ(countLog("MAX_HOLDING_MINUTES"), 0u);
    EXPECT_EQ(countLog("DESTINATION=\"EHAM\""), 1u);
    EXPECT_EQ(countLog("CUSTOM_MAX_PARK=-1"), 1u);
}

TEST_F(ParamStoreTest, TypedLookUpsDistinguishMissingEntryFromMissingValue)
{
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string("<parameters><parameter name=\"A\"/><parameter name=\"B\" value=\"yes\"/>"
                                     "<parameter name=\"C\" value=\"-12\"/><parameter name=\"it's\" value=\"q\"/>"
                                     "</parameters>"));
    EXPECT_EQ(gf_paramAsInt(document, "A"), 0);
    EXPECT_EQ(gf_paramAsBool(document, "A"), false);
    EXPECT_EQ(gf_paramAsString(document, "A"), "");
    EXPECT_EQ(gf_paramAsBool(document, "B"), true);
    EXPECT_EQ(gf_paramAsInt(document, "C"), -12);
    EXPECT_EQ(gf_paramAsString(document, "it's"), "q");
    EXPECT_FALSE(gf_paramAsInt(document, "D").has_value());
    EXPECT_FALSE(gf_paramAsInt(document, "C']|//*[@name='B").has_value());
}

TEST_F(ParamStoreTest, WindowPositionFallsBackOnlyFromALimit)
{
    gf_saveMainWindowPos(100, 200);
    EXPECT_EQ(MAIN_WINDOW_X.value(), 400);
    EXPECT_EQ(MAIN_WINDOW_Y.value(), 20);
    EXPECT_FALSE(fs::exists(paramsPath()));

    MAIN_WINDOW_X.setValue(-30000);
    MAIN_WINDOW_Y.setValue(30000);
    gf_saveMainWindowPos(100, 40000);
    EXPECT_EQ(MAIN_WINDOW_X.value(), 100);
    EXPECT_EQ(MAIN_WINDOW_Y.value(), 30000);
    EXPECT_EQ(valueInFile("MAIN_WINDOW_X"), "100");
    EXPECT_EQ(valueInFile("MAIN_WINDOW_Y"), "30000");
}

TEST_F(ParamStoreTest, SaveXmlCompletesTheDeclarationAndFailsCleanly)
{
    pugi::xml_document document;
    document.append_child(pugi::node_declaration).append_attribute("encoding") = "latin1";
    document.append_child("root").append_child("a");
    const fs::path target = dir_ / "out.xml";
    ASSERT_TRUE(gf_saveXml(document, target));
    EXPECT_EQ(readFile(target), "<?xml encoding=\"UTF-8\" version=\"1.0\"?>\n<root>\n  <a />\n</root>\n");

    pugi::xml_document plain;
    plain.append_child("root");
    ASSERT_TRUE(gf_saveXml(plain, target));
    EXPECT_EQ(readFile(target), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root />\n");

    EXPECT_FALSE(gf_saveXml(document, dir_ / "missing" / "out.xml"));
    for (const auto& item : fs::directory_iterator(dir_.path()))
        EXPECT_EQ(item.path().string().find(".tmp"), std::string::npos) << item.path();
}

TEST_F(ParamStoreTest, MetaBlockIsWrittenInOrderAndReadBack)
{
    pugi::xml_document document;
    ASSERT_TRUE(gf_writeMetaInfo(document));
    std::vector<Entry> infos;
    for (pugi::xml_node info : document.child("meta").children("info"))
        infos.emplace_back(info.attribute("name").value(), info.attribute("value").value());
    ASSERT_EQ(infos.size(), 5u);
    EXPECT_EQ(infos[0], Entry("author", "Corv_P3D"));
    EXPECT_EQ(infos[1], Entry("version", "11.9.2"));
    EXPECT_EQ(infos[2].first, "date");
    EXPECT_EQ(infos[2].second.size(), std::string("Jan 05, 2025").size());
    EXPECT_EQ(infos[3], Entry("copyright", META_COPYRIGHT.value()));
    EXPECT_EQ(infos[4], Entry("P3D", "v5/v6"));

    EXPECT_TRUE(gf_readMetaInfo(document, META_VERSION));
    EXPECT_EQ(META_VERSION.value(), "11.9.2");
    META_AUTHOR.setValue("someone");
    pugi::xml_document empty;
    EXPECT_FALSE(gf_readMetaInfo(empty, META_AUTHOR));
    EXPECT_EQ(META_AUTHOR.value(), "");

    for (const auto& [simulator, expected] : {Entry("MSFS", "2020"), Entry("MSFS2024", "2024")}) {
        gf_setMetaSimulatorName(simulator);
        pugi::xml_document other;
        ASSERT_TRUE(gf_writeMetaInfo(other));
        const pugi::xml_node last = other.child("meta").last_child();
        EXPECT_STREQ(last.attribute("name").value(), "MSFS");
        EXPECT_EQ(last.attribute("value").value(), expected);
    }
}

TEST_F(ParamStoreTest, ComboAndCallsignFillersShowOptionsAndSelection)
{
    vald::ControlModel& controls = vald::gf_controls();
    gf_fillIntOptionCombo(AIRP_RANGE);  // no control yet: nothing happens
    controls.create(AIRP_RANGE.controlId(), vald::ControlKind::Combo);
    AIRP_RANGE.setValue(15);
    gf_fillIntOptionCombo(AIRP_RANGE);
    EXPECT_EQ(controls.state(AIRP_RANGE.controlId())->items,
              (std::vector<std::string>{"5", "10", "15", "20", "25", "30"}));
    EXPECT_EQ(controls.selection(AIRP_RANGE.controlId()), 2);

    controls.create(CALLSIGN_2_OBJECTID.controlId(), vald::ControlKind::Combo);
    gf_callsignList()->assign({"", "DLH4", "KLM123"});
    CALLSIGN_2_OBJECTID.setValue("klm");
    gf_fillCallsignCombo();
    EXPECT_EQ(controls.state(CALLSIGN_2_OBJECTID.controlId())->items.size(), 3u);
    EXPECT_EQ(controls.selectedItem(CALLSIGN_2_OBJECTID.controlId()), "KLM123");

    gf_setStringParamText(DESTINATION);  // no field: logged, nothing else
    EXPECT_EQ(countLog("GetDlgItem failed for ID 32839"), 1u);
}

TEST_F(ParamStoreTest, ConcurrentSavesNeverLoseAnEntryNorLeaveABrokenFile)
{
    gf_loadAllParameters();
    constexpr int threads = 6;
    constexpr int rounds = 40;
    std::vector<std::unique_ptr<IntParameter>> own;
    for (int t = 0; t < threads; ++t)
        own.push_back(std::make_unique<IntParameter>("THREAD_" + std::to_string(t), 0, 0, 1000));

    std::atomic<bool> done{false};
    std::atomic<int> unreadable{0};
    std::thread reader([&] {
        // Reads without the lock, as another program might: the file must always be whole.
        while (!done.load()) {
            pugi::xml_document document;
            if (!document.load_file(paramsPath().c_str()) || document.select_nodes("/parameters/parameter").size() < 55)
                ++unreadable;
        }
    });
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t)
        writers.emplace_back([&, t] {
            for (int r = 1; r <= rounds; ++r) {
                own[static_cast<std::size_t>(t)]->setValue(r);
                gf_saveIntParameter(*own[static_cast<std::size_t>(t)]);
            }
        });
    for (std::thread& writer : writers)
        writer.join();
    done = true;
    reader.join();

    EXPECT_EQ(unreadable.load(), 0);
    const std::vector<Entry> all = entries();
    EXPECT_EQ(all.size(), 55u + threads);
    for (int t = 0; t < threads; ++t)
        EXPECT_EQ(valueInFile("THREAD_" + std::to_string(t)), std::to_string(rounds));
    EXPECT_FALSE(fs::exists(paramsPath().parent_path() / "parameters0.xml"));
}
