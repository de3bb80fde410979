#pragma once
// The worker thread of one run, started by the main window on WM_APP+1 (at start and for every
// restart). In order: the program folder check, the data start-up, the scans the parameters
// ask for, the service's revisit rule, the park airports, the run itself, and always the
// closing, which posts WM_APP+1 (restart) or WM_APP+2 (quit). No exception leaves it.
void lf_workerThread();

// Once per process, at the first run: the installed simulator versions and the answers of the
// lower layers to each other (status line, stop requests, park airport, livery indexes, ...).
void lf_registerRunHooks();
