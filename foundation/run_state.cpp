#include "foundation/run_state.hpp"

std::atomic<bool> stopRequested{false};
std::atomic<bool> userClosing{false};
