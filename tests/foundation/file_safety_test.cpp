#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/format.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/safe_write.hpp"
#include "foundation/text.hpp"
#include "tests/foundation/param_fixture.hpp"
#include "tests/support/file_size_limit.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using corv_test::readFile;
using corv_test::writeFile;
using Names = std::vector<std::string>;

Names entriesOf(const fs::path& folder)
{
    Names names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST(FileSafetyTest, WriterReplacesTheWholeFileKeepsItsModeAndLeavesNoTemporary)
{
    corv_test::TempDir dir;
    const fs::path file = dir / "list.txt";
    std::string error = "stale";
    ASSERT_TRUE(gf_writeFileSafely(file, "first version, rather long\n", error)) << error;
    EXPECT_TRUE(error.empty());
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    ASSERT_TRUE(gf_writeFileSafely(file, "second\n", error)) << error;
    EXPECT_EQ(readFile(file), "second\n");
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    ASSERT_TRUE(gf_writeFileSafely(file, "", error)) << error;
    EXPECT_EQ(readFile(file), "");
    EXPECT_EQ(entriesOf(dir.path()), Names{"list.txt"});
}

// A file the user made read-only is not replaced; a guarded write never goes through a link and
// replaces only what it was allowed, not a file that changed or appeared after its look.
TEST(FileSafetyTest, TheUsersWriteProtectedLinkedOrChangedFilesStayAsTheyAre)
{
    corv_test::TempDir dir;
    writeFile(dir / "mine.xml", "mine");
    ASSERT_EQ(::chmod((dir / "mine.xml").c_str(), 0444), 0);
    std::string error;
    EXPECT_FALSE(gf_writeFileSafely(dir / "mine.xml", "new", error));
    EXPECT_NE(error.find("write-protected"), std::string::npos) << error;
    writeFile(dir / "outside", "outside");
    fs::create_symlink(dir / "outside", dir / "link.xml");
    GuardedWrite rules;
    EXPECT_EQ(gf_writeFileGuarded(dir / "link.xml", "new", rules, error), WriteOutcome::refused);
    writeFile(dir / "seen.xml", "as seen");
    const std::optional<FileIdentity> seen = gf_fileIdentity(dir / "seen.xml");
    writeFile(dir / "seen.xml", "changed since");
    rules.mayReplace = [&seen, &dir](const std::optional<FileIdentity>& now) {
        if (!now)
            writeFile(dir / "new.xml", "placed meanwhile");
        return now == seen || !now;
    };
    EXPECT_EQ(gf_writeFileGuarded(dir / "seen.xml", "new", rules, error), WriteOutcome::refused);
    EXPECT_EQ(gf_writeFileGuarded(dir / "new.xml", "new", rules, error), WriteOutcome::refused);
    // A file built whole beside its target takes its place by the same rules.
    writeFile(dir / "built", "built");
    EXPECT_FALSE(gf_placeFinishedFile(dir / "built", dir / "mine.xml", error));
    EXPECT_FALSE(gf_placeFinishedFile(dir / "built", dir / "link.xml", error));
    EXPECT_TRUE(gf_placeFinishedFile(dir / "built", dir / "placed.xml", error)) << error;
    EXPECT_EQ(readFile(dir / "mine.xml"), "mine");
    EXPECT_EQ(readFile(dir / "outside"), "outside");
    EXPECT_EQ(readFile(dir / "seen.xml"), "changed since");
    EXPECT_EQ(readFile(dir / "new.xml"), "placed meanwhile");
    EXPECT_EQ(readFile(dir / "placed.xml"), "built");
    EXPECT_EQ(entriesOf(dir.path()), (Names{"link.xml", "mine.xml", "new.xml", "outside", "placed.xml", "seen.xml"}));
}

TEST(FileSafetyTest, AFailedWriteLeavesTheOldFileWholeAndSaysWhy)
{
    corv_test::TempDir dir;
    const fs::path file = dir / "learned.xml";
    const std::string old(4000, 'o');
    writeFile(file, old);

    // A full disk: the new content does not fit below the limit.
    const int answer = corv_test::runWithFileSizeLimit(1000, [&] {
        std::string error;
        const bool written = gf_writeFileSafely(file, std::string(8000, 'n'), error);
        if (written)
            return 1;
        return error.find("learned.xml") != std::string::npos && error.find("large") != std::string::npos ? 0 : 2;
    });
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(readFile(file), old);
    EXPECT_EQ(entriesOf(dir.path()), Names{"learned.xml"});

    // A target that cannot be replaced (a folder of that name) and a folder that is not there.
    fs::create_directory(dir / "taken.txt");
    writeFile(dir / "taken.txt" / "inside", "x");
    std::string error;
    EXPECT_FALSE(gf_writeFileSafely(dir / "taken.txt", "new", error));
    EXPECT_NE(error.find("taken.txt"), std::string::npos) << error;
    EXPECT_EQ(readFile(dir / "taken.txt" / "inside"), "x");
    EXPECT_FALSE(gf_writeFileSafely(dir / "missing" / "a.txt", "new", error));
    EXPECT_NE(error.find("a.txt"), std::string::npos) << error;
    EXPECT_EQ(entriesOf(dir.path()), (Names{"learned.xml", "taken.txt"}));
}

TEST(FileSafetyTest, LeftoverTemporariesOfAnEarlierRunAreRemovedAndNothingElse)
{
    corv_test::TempDir dir;
    const std::string own = vald::format("c.xml.corvtmp-{}-0", static_cast<long>(::getpid()));
    for (const char* name : {"a.xml.corvtmp-1-0", "b.txt.corvtmp-4194303-17", "a.xml", "notes.corvtmp.txt",
                             "d.xml.corvtmp-12-x", ".corvtmp-5-1", "e.xml.corvtmp--3"})
        writeFile(dir / name, "x");
    writeFile(dir / own, "in progress");
    // This process's id, from a killed process that had it before (its numbers start again at 0).
    const std::string reused = vald::format("h.xml.corvtmp-{}-1", static_cast<long>(::getpid()));
    writeFile(dir / reused, "x");
    fs::last_write_time(dir / reused, fs::file_time_type::clock::now() - std::chrono::hours(1));
    writeFile(dir / "sub" / "f.xml.corvtmp-7-0", "x");  // only the folder itself is cleaned
    fs::create_directory(dir / "g.corvtmp-8-0");

    // The names that process left neither block a write nor are taken for one.
    fs::path probe;
    int descriptor = -1;
    std::string error;
    ASSERT_TRUE(gf_createTempFileBeside(dir / "sub" / "i.xml", probe, descriptor, error)) << error;
    ::close(descriptor);
    fs::remove(probe);
    const std::string probeName = probe.filename().string();
    const std::string stem = probeName.substr(0, probeName.rfind('-') + 1);  // with this process's id
    const std::uint64_t next = std::stoull(probeName.substr(stem.size())) + 1;
    for (std::uint64_t n = next; n < next + 3; ++n)
        writeFile(dir / "sub" / (stem + std::to_string(n)), "theirs");
    ASSERT_TRUE(gf_writeFileSafely(dir / "sub" / "i.xml", "new", error)) << error;
    EXPECT_EQ(readFile(dir / "sub" / "i.xml"), "new");
    EXPECT_EQ(entriesOf(dir / "sub").size(), 5u);
    EXPECT_EQ(readFile(dir / "sub" / (stem + std::to_string(next))), "theirs");

    EXPECT_EQ(gf_removeLeftoverTempFiles(dir.path()), 3u);
    EXPECT_EQ(entriesOf(dir.path()), (Names{".corvtmp-5-1", "a.xml", own, "d.xml.corvtmp-12-x",
                                            "e.xml.corvtmp--3", "g.corvtmp-8-0", "notes.corvtmp.txt", "sub"}));
    EXPECT_TRUE(fs::exists(dir / "sub" / "f.xml.corvtmp-7-0"));
    EXPECT_EQ(gf_removeLeftoverTempFiles(dir / "absent"), 0u);
    EXPECT_TRUE(gf_isSafeWriteTempName("x.corvtmp-3-4"));
    EXPECT_FALSE(gf_isSafeWriteTempName("x.corvtmp-3-"));
}

TEST(FileSafetyTest, FilesFromOutsideAreReadWholeWithinTheirLimitOrNotAtAll)
{
    corv_test::TempDir dir;
    writeFile(dir / "ten.txt", "0123456789");
    std::string bytes = "stale";
    std::string error;
    EXPECT_EQ(gf_readFileLimited(dir / "ten.txt", 10, bytes, error), FileRead::ok);
    EXPECT_EQ(bytes, "0123456789");
    EXPECT_EQ(gf_readFileLimited(dir / "ten.txt", 9, bytes, error), FileRead::tooLarge);
    EXPECT_EQ(bytes, "");
    EXPECT_EQ(error, (dir / "ten.txt").string() + " is larger than 9 bytes, skipped");
    EXPECT_EQ(gf_readFileLimited(dir / "none.txt", 9, bytes, error), FileRead::missing);
    EXPECT_EQ(gf_readFileLimited(dir.path(), 9, bytes, error), FileRead::unreadable);
    // Larger than one piece of the read, to the byte.
    writeFile(dir / "big.txt", std::string(200000, 'b'));
    EXPECT_EQ(gf_readFileLimited(dir / "big.txt", 200000, bytes, error), FileRead::ok);
    EXPECT_EQ(bytes.size(), 200000u);
    EXPECT_EQ(gf_readFileLimited(dir / "big.txt", 199999, bytes, error), FileRead::tooLarge);

    // Text as Notepad saves it: UTF-16 with a byte-order mark, or without one.
    std::vector<std::string> lines;
    writeFile(dir / "le.txt", std::string("\xFF\xFE" "E\0H\0A\0M\0,\0D\0" "7\0\r\0\n\0E\0G\0L\0L\0", 28));
    EXPECT_EQ(gf_readTextFileLimited(dir / "le.txt", 100, lines, error), FileRead::ok);
    EXPECT_EQ(lines, (std::vector<std::string>{"EHAM,D7", "EGLL"}));
    lines.clear();
    writeFile(dir / "be.txt", std::string("\0K\0J\0F\0K", 8));
    EXPECT_EQ(gf_readTextFileLimited(dir / "be.txt", 100, lines, error), FileRead::ok);
    EXPECT_EQ(lines, std::vector<std::string>{"KJFK"});
    lines.clear();
    writeFile(dir / "odd.txt", std::string("\xFF\xFE" "E\0H", 5));
    EXPECT_EQ(gf_readTextFileLimited(dir / "odd.txt", 100, lines, error), FileRead::malformed);
    EXPECT_TRUE(lines.empty());
    EXPECT_EQ(gf_readTextFileLimited(dir / "le.txt", 27, lines, error), FileRead::tooLarge);
    EXPECT_TRUE(lines.empty());

    pugi::xml_document document;
    writeFile(dir / "a.xml", "<a><b/></a>");
    EXPECT_EQ(gf_loadXmlLimited(document, dir / "a.xml", 11, error), FileRead::ok);
    EXPECT_TRUE(document.child("a").child("b"));
    EXPECT_EQ(gf_loadXmlLimited(document, dir / "a.xml", 10, error), FileRead::tooLarge);
    EXPECT_FALSE(document.first_child());
    writeFile(dir / "cut.xml", "<a><b/>");
    EXPECT_EQ(gf_loadXmlLimited(document, dir / "cut.xml", 100, error), FileRead::malformed);
    EXPECT_NE(error.find("cut.xml"), std::string::npos) << error;
}

class FileSafetyParamTest : public corv_test::ParamTest {};

// Each kind of file foundation writes (line lists, plain text, XML documents, parameters.xml)
// keeps its old content when the disk is full, and no temporary file is left beside it.
TEST_F(FileSafetyParamTest, AFullDiskLeavesEveryKindOfFileWhole)
{
    const fs::path folder = dir_ / "out";
    fs::create_directories(folder);
    const std::string oldText(3000, 't');
    for (const char* name : {"lines.txt", "list.txt", "plain.txt", "doc.xml"})
        writeFile(folder / name, oldText);
    ASSERT_TRUE(gf_editParametersFile([](pugi::xml_node parameters) { gf_setParameterEntry(parameters, "A", "1"); }));
    const std::string oldParameters = readFile(paramsPath());

    const std::string big(20000, 'n');
    const int answer = corv_test::runWithFileSizeLimit(8000, [&] {
        int wrote = 0;
        wrote |= gf_writeLines({big}, folder / "lines.txt") ? 1 : 0;
        wrote |= gf_writeLineList({big}, folder / "list.txt") ? 2 : 0;
        wrote |= gf_writeFile(big, folder / "plain.txt", true) ? 4 : 0;
        pugi::xml_document document;
        document.append_child("root").append_attribute("v") = big.c_str();
        wrote |= gf_saveXml(document, folder / "doc.xml") ? 8 : 0;
        wrote |= gf_editParametersFile([&](pugi::xml_node parameters) { gf_setParameterEntry(parameters, "B", big); })
                     ? 16
                     : 0;
        return wrote;
    });
    EXPECT_EQ(answer, 0);  // every write was refused
    for (const char* name : {"lines.txt", "list.txt", "plain.txt", "doc.xml"})
        EXPECT_TRUE(readFile(folder / name) == oldText) << name;
    EXPECT_TRUE(readFile(paramsPath()) == oldParameters);
    EXPECT_EQ(entriesOf(folder), (Names{"doc.xml", "lines.txt", "list.txt", "plain.txt"}));
    EXPECT_EQ(entriesOf(paramsPath().parent_path()), Names{"parameters.xml"});
    EXPECT_EQ(countLog("File too large"), 5u);
}

// parameters.xml past its limit is not taken in part: it is kept aside as a generation and the
// defaults replace it.
TEST_F(FileSafetyParamTest, AnOversizedParametersFileIsKeptAsideNotHalfRead)
{
    std::string body = entry("MAX_LIVE", "123");
    while (body.size() <= MAX_PARAMETERS_FILE_BYTES)
        body += "<!-- " + std::string(1000, 'x') + " -->\n";
    writeParams(body);
    const std::string old = readFile(paramsPath());
    EXPECT_TRUE(gf_editParametersFile([](pugi::xml_node parameters) { gf_setParameterEntry(parameters, "A", "1"); }));
    EXPECT_TRUE(readFile(paramsPath().parent_path() / "parameters0.xml") == old);
    EXPECT_EQ(entries(), (std::vector<corv_test::Entry>{{"A", "1"}}));
    EXPECT_EQ(countLog("bytes, skipped, kept as an older generation"), 1u);
}

}  // namespace
