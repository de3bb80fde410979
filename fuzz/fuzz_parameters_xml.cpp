// parameters.xml as found at start: read, completed and written back. Whatever the file holds,
// the file written back stays in proportion to the one read.
#include "foundation/constants.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/parameters.hpp"
#include "fuzz/fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    corv_fuzz::scratchFolder();
    const std::filesystem::path path = gf_parametersPath();
    std::filesystem::create_directories(path.parent_path());
    corv_fuzz::writeFile(path, corv_fuzz::textOf(data, size));
    (void)gf_loadParameters(gf_startupParameterLists());
    std::error_code error;
    const std::uintmax_t written = std::filesystem::file_size(path, error);
    if (!error && written > 16 * size + 65536)
        corv_fuzz::fail();
    return 0;
}
