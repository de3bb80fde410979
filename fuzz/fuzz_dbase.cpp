// dbase.xml as delivered (encrypted with the program's key) but of any content.
#include <stdexcept>

#include "foundation/constants.hpp"
#include "fuzz/fuzz_support.hpp"
#include "refdata/dbase.hpp"
#include "tests/refdata/sealed_files.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    corv_fuzz::scratchFolder();
    corv_fuzz::writeFile(DBASE_ENC_PATH, corv_test::sealStream(corv_fuzz::textOf(data, size)));
    try {
        (void)gf_readDbase();
    } catch (const std::runtime_error&) {
        // A missing section is the user's error to report; nothing else may escape.
    }
    gf_clearDbaseTables();
    return 0;
}
