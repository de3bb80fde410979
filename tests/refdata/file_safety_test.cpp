// The reference data files under a full disk: a decryption that cannot be written whole leaves
// neither a part of the plain file nor a temporary file behind, and keeps the encrypted input.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "refdata/decrypt.hpp"
#include "tests/refdata/sealed_files.hpp"
#include "tests/support/file_size_limit.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using namespace corv_test;

TEST(RefdataFileSafetyTest, ADecryptionThatDoesNotFitLeavesNoPartOfThePlainFile)
{
    TempDir dir(true);
    const std::string plain(20000, 'p');
    const std::string sealed = sealStream(plain);
    writeFile("data.enc", sealed);
    writeFile("data.xml", "the plain file of the data before");
    // The limit lets the encrypted input be read but not the plain text be written.
    const int answer = runWithFileSizeLimit(10000, [] { return gf_streamDecrypt("data.enc", "data.xml") ? 1 : 0; });
    EXPECT_EQ(answer, 0);
    EXPECT_TRUE(readFile("data.enc") == sealed);
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator("."))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"data.enc"})) << "no half plain file, no temporary file";

    ASSERT_TRUE(gf_streamDecrypt("data.enc", "data.xml"));
    EXPECT_TRUE(readFile("data.xml") == plain);
}

}  // namespace
