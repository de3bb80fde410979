#pragma once
// The scan of the installed aircraft (the livery folders lfolder0 to lfolder9) into
// output/LiveriesScanned.xml, run on the worker thread during start-up when SCAN_LIVERIES is on.
void gf_scanLiveries();
