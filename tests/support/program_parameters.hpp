#pragma once
// A parameters.xml for a test's program run: the scans look at folders of the test's own (an
// empty path leaves that scan's folder unset).
#include <filesystem>

namespace corv_test {

// Writes the file unless one is there already (a test may have put its own).
void writeScanFolderParameters(const std::filesystem::path& parametersFile,
                               const std::filesystem::path& airportsFolder,
                               const std::filesystem::path& liveriesFolder = {});

}  // namespace corv_test
