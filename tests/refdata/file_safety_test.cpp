// The reference data files under a full disk: a plain copy that does not fit is left out, the one
// before stays whole, no temporary file is left, the input is kept, and the reader has the text.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "refdata/decrypt.hpp"
#include "tests/refdata/sealed_files.hpp"
#include "tests/support/file_size_limit.hpp"
#include "tests/support/temp_dir.hpp"

namespace {

namespace fs = std::filesystem;
using namespace corv_test;

TEST(RefdataFileSafetyTest, APlainCopyThatDoesNotFitIsLeftOutAndTheTextIsReadAllTheSame)
{
    TempDir dir(true);
    const std::string plain(20000, 'p');
    const std::string sealed = sealStream(plain);
    writeFile("data.enc", sealed);
    writeFile("data.xml", "the plain file of the data before");
    // The limit lets the encrypted input be read but not the plain text be written.
    const int answer = runWithFileSizeLimit(10000, [&plain] {
        const std::optional<DecryptedData> data = gf_streamDecrypt("data.enc", "data.xml");
        return data && data->text == plain && data->copy.empty() ? 1 : 0;
    });
    EXPECT_EQ(answer, 1);
    EXPECT_TRUE(readFile("data.enc") == sealed);
    EXPECT_EQ(readFile("data.xml"), "the plain file of the data before");
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator("."))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"data.enc", "data.xml"})) << "no temporary file";

    ASSERT_TRUE(gf_streamDecrypt("data.enc", "data.xml"));
    EXPECT_TRUE(readFile("data.xml") == plain);
}

}  // namespace
