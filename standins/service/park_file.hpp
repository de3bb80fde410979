#pragma once
// The archived park-position file of an airport as the download site holds it under
// /downloads/P3D/archive/stock/<ICAO>.xml: meta, parameters and parkpositions at the top level.
#include <filesystem>

#include "standins/service/scenario.hpp"

namespace service_standin {

// Throws std::runtime_error when the file cannot be written.
void writeParkFile(const Airport& airport, const std::filesystem::path& file);

}  // namespace service_standin
