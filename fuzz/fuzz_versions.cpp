// Version information from outside: versions.json as downloaded (bounded JSON, each member read as
// a version), and the version texts that parameters.xml carries.
#include "foundation/json_input.hpp"
#include "foundation/user_error.hpp"
#include "fuzz/fuzz_support.hpp"
#include "refdata/self_update.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text = corv_fuzz::textOf(data, size);
    const VersionData version(text);
    (void)gf_versionText(version);
    const nlohmann::json root = vald::gf_parseJsonOrDiscarded(text);
    if (root.is_object()) {
        for (const auto& [key, member] : root.items()) {
            if (member.is_object())
                (void)gf_versionGreater(VersionData(vald::gf_quoted(member.dump(), 64)), version);
            if (member.is_string())
                (void)VersionData(member.get_ref<const std::string&>());
        }
    }
    return 0;
}
