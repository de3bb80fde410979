// Zip archives written, extended and read back in chunks; changes that are not closed never
// reach the file. (Damaged archives are read in the self-update tests.)
#include "platform/zip_archive.hpp"

#include <sstream>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.hpp"

namespace fs = std::filesystem;
using vald::ZipArchive;
using Contents = std::vector<std::pair<std::string, std::string>>;

namespace {

bool writeArchive(const fs::path& file, ZipArchive::OpenMode mode, const Contents& entries)
{
    ZipArchive archive(file);
    bool ok = archive.open(mode);
    for (const auto& [name, data] : entries)
        ok = ok && archive.addData(name, data);
    return archive.close() && ok;
}

Contents readArchive(const fs::path& file, std::size_t chunkBytes)
{
    ZipArchive archive(file);
    EXPECT_TRUE(archive.open(ZipArchive::OpenMode::ReadOnly)) << archive.errorText();
    Contents result;
    for (const vald::ZipEntry& entry : archive.getEntries()) {
        std::ostringstream out;
        EXPECT_EQ(archive.readContent(entry, out, chunkBytes), 0) << entry.name;
        EXPECT_EQ(out.str().size(), entry.size) << entry.name;
        result.emplace_back(entry.name, out.str());
    }
    return result;
}

TEST(ZipArchive, EntriesReadBackInOrderWhateverTheChunkSize)
{
    const corv_test::TempDir dir;
    const fs::path file = dir / "tblo.zip";
    std::string binary(70000, '\0');
    for (std::size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 37 % 256);
    const Contents first = {{"EHAM.xml", "<airport/>"}, {"learned/EDDF.xml", binary}, {"empty.txt", ""}};
    ASSERT_TRUE(writeArchive(file, ZipArchive::OpenMode::New, first));
    EXPECT_EQ(readArchive(file, 7), first);
    EXPECT_EQ(readArchive(file, ZipArchive::DEFAULT_CHUNK_BYTES), first);

    // Write keeps what is there and replaces an entry of the same name; New starts over.
    ASSERT_TRUE(writeArchive(file, ZipArchive::OpenMode::Write, {{"EHAM.xml", "<a/>"}, {"LFPG.xml", "<b/>"}}));
    EXPECT_EQ(readArchive(file, 4096),
              (Contents{{"EHAM.xml", "<a/>"}, {"learned/EDDF.xml", binary}, {"empty.txt", ""}, {"LFPG.xml", "<b/>"}}));
    ASSERT_TRUE(writeArchive(file, ZipArchive::OpenMode::New, {{"only.txt", "x"}}));
    EXPECT_EQ(readArchive(file, 4096), (Contents{{"only.txt", "x"}}));

    ZipArchive notZip(dir / "text.zip");
    corv_test::writeFile(dir / "text.zip", "not a zip archive");
    EXPECT_FALSE(notZip.open(ZipArchive::OpenMode::ReadOnly));
    EXPECT_FALSE(notZip.errorText().empty());
}

TEST(ZipArchive, ChangesWithoutCloseLeaveTheFileAsItWas)
{
    const corv_test::TempDir dir;
    const fs::path file = dir / "tblo.zip";
    ASSERT_TRUE(writeArchive(file, ZipArchive::OpenMode::New, {{"keep.txt", "kept"}}));
    const std::string before = corv_test::readFile(file);
    {
        ZipArchive archive(file);
        ASSERT_TRUE(archive.open(ZipArchive::OpenMode::New));
        ASSERT_TRUE(archive.addData("lost.txt", "never written"));
    }
    ZipArchive archive(file);
    ASSERT_TRUE(archive.open(ZipArchive::OpenMode::Write));
    ASSERT_TRUE(archive.addData("lost.txt", "never written"));
    archive.discard();
    EXPECT_FALSE(archive.addData("late.txt", "closed"));
    EXPECT_EQ(corv_test::readFile(file), before);
}

}  // namespace
