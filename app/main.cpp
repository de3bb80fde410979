// Corv_P3D: real-world air traffic for Prepar3D.
#include <cstdio>

#include "app/application.hpp"
#include "platform/process_setup.hpp"

// Under LeakSanitizer only: the font libraries behind the window keep their caches for the life
// of the process by design; those are not our leaks.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libXft.so\n";
}

int main(int argc, char** argv)
{
    // Before the first thread starts.
    if (!vald::gf_prepareProcess()) {
        std::fputs("Corv_P3D: libcurl could not be set up\n", stderr);
        return 1;
    }
    return gf_main(argc, argv);
}
