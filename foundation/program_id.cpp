#include "foundation/program_id.hpp"

const VersionData& gf_programVersion()
{
    // Built on first use, so it is ready whatever the order of static initialisation.
    static const VersionData version(PROGRAM_VERSION_TEXT);
    return version;
}
