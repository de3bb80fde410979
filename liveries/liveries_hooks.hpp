#pragma once
// Registers the livery indexes' answers into the reference data, which builds its similar-model
// tables from them.
void gf_registerLiveriesHooks();
