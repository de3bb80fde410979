// Corv_P3D: real-world air traffic for Prepar3D.
#include "app/application.hpp"

// Under LeakSanitizer only: the font libraries behind the window keep their caches for the life
// of the process by design; those are not our leaks.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libXft.so\n";
}

int main(int argc, char** argv) { return gf_main(argc, argv); }
