#include "scanner/scanner_hooks.hpp"

#include "foundation/hook_store.hpp"

namespace {

ScannerHooks lf_defaultScannerHooks()
{
    ScannerHooks hooks;
    hooks.openManual = [] {};
    hooks.openParametersFolder = [] {};
    return hooks;
}

HookStore<ScannerHooks>& lf_store()
{
    static HookStore<ScannerHooks> store(&lf_defaultScannerHooks);
    return store;
}

}  // namespace

void gf_setScannerHooks(ScannerHooks hooks)
{
    lf_store().update([&hooks](ScannerHooks& current) {
        gf_takeHook(current.openManual, hooks.openManual);
        gf_takeHook(current.openParametersFolder, hooks.openParametersFolder);
    });
}

void gf_resetScannerHooks() { lf_store().reset(); }

std::shared_ptr<const ScannerHooks> gf_scannerHooks() { return lf_store().get(); }
