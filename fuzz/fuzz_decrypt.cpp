// A data file damaged on its way: a sealed stream cut short and with one byte changed where the
// first eight input bytes say. The decryption either fails cleanly, leaving no plain file, or
// gives back exactly what was sealed, in memory and in the plain copy.
#include <cstring>
#include <iterator>
#include <optional>

#include "fuzz/fuzz_support.hpp"
#include "refdata/decrypt.hpp"
#include "tests/refdata/sealed_files.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 8)
        return 0;
    const std::filesystem::path folder = corv_fuzz::scratchFolder();
    std::uint32_t keep = 0;
    std::uint32_t flip = 0;
    std::memcpy(&keep, data, 4);
    std::memcpy(&flip, data + 4, 4);
    const std::string plain = corv_fuzz::textOf(data + 8, size - 8);
    std::string sealed = corv_test::sealStream(plain);
    bool damaged = false;
    // Most inputs keep the whole stream, so that the good path is fuzzed too.
    if (keep % 4 != 0) {
        const std::size_t kept = keep % (sealed.size() + 1);
        damaged = kept < sealed.size();
        sealed.resize(kept);
    }
    if (!sealed.empty() && flip % 3 == 0) {
        sealed[(flip / 3) % sealed.size()] ^= static_cast<char>(1 + flip % 255);
        damaged = true;
    }
    corv_fuzz::writeFile(folder / "data.enc", sealed);
    const std::optional<DecryptedData> decrypted = gf_streamDecrypt(folder / "data.enc", folder / "data.xml");
    if (decrypted) {
        std::ifstream in(folder / "data.xml", std::ios::binary);
        const std::string back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (damaged || back != plain || decrypted->text != plain)
            corv_fuzz::fail();
    } else if (!damaged || std::filesystem::exists(folder / "data.xml")) {
        corv_fuzz::fail();
    }
    return 0;
}
