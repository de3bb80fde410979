// The registration codes of liveries: AIG-regcodes.xml as delivered (decrypted) when the first
// byte is even, else one of the user's own text files.
#include "foundation/constants.hpp"
#include "fuzz/fuzz_support.hpp"
#include "refdata/regcodes.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    corv_fuzz::scratchFolder();
    const std::string text = corv_fuzz::textOf(data + 1, size - 1);
    std::vector<RegcodeEntry> entries;
    if (data[0] % 2 == 0) {
        corv_fuzz::writeFile(AIG_REGCODES_XML_PATH, text);
        (void)gf_readAigRegcodes(text, AIG_REGCODES_XML_PATH, entries);
    } else {
        std::filesystem::create_directories(MY_REGCODES_FOLDER);
        corv_fuzz::writeFile(MY_REGCODES_FOLDER / "mine.txt", text);
        (void)gf_readRegcodeFiles(MY_REGCODES_FOLDER, entries);
    }
    return 0;
}
