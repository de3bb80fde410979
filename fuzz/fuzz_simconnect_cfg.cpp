// SimConnect.cfg as the user or another program may have written it.
#include "fuzz/fuzz_support.hpp"
#include "simlink/simconnect/config.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::filesystem::path file = corv_fuzz::scratchFolder() / "SimConnect.cfg";
    corv_fuzz::writeFile(file, corv_fuzz::textOf(data, size));
    for (const char* section : {"SimConnect", "SimConnect.1", ""})
        (void)vald::simconnect::gf_readIniSection(file, section);
    return 0;
}
