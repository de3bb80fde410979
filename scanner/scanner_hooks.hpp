#pragma once
// What the airport scan needs of the window above it: opening the folder of the local manual and
// the folder of parameters.xml when no scenery folder is set. Registered by the application at
// start; until then both do nothing.
#include <functional>
#include <memory>

struct ScannerHooks {
    std::function<void()> openManual;
    std::function<void()> openParametersFolder;
};

// Replaces the members of hooks that are not empty.
void gf_setScannerHooks(ScannerHooks hooks);
void gf_resetScannerHooks();
std::shared_ptr<const ScannerHooks> gf_scannerHooks();
