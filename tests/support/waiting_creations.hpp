#pragma once
// The waiting creations under the names the tests use to set them up and look at them; the
// engine itself changes them only through creation_queue's operations.
#include <cstdint>
#include <vector>

#include "engine/creation_queue.hpp"

inline std::vector<std::uint32_t>& addingStack = gf_waitingCreationsForTest().addingStack;
inline CreationQueue& liveCreationQueue = gf_waitingCreationsForTest().live;
inline CreationQueue& staticCreationQueue = gf_waitingCreationsForTest().statics;
