#pragma once
// The work of one run on the worker thread. At this stage a run prepares the parameters and
// the controls and ends; in production mode it then ends the program.
void lf_workerThread();

// Production mode: the program ends once the data start-up is done (exit code 0).
void lf_stopIfProduction();
