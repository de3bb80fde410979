#pragma once
// Registers the stand logic's answers into the lower layers' hooks: the park airport and the
// reserved stand for the traffic client and for the engine, the closest-stand query for the
// airport table, and the forgetting of the park airport for the engine.
void gf_registerParkingHooks();
