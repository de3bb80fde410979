#pragma once
// The program Corv_P3D as a user starts it in the end-to-end tests: its program folder with the
// encrypted data files and a simulator installation in the registry file, and the options that
// start it there with its own user folders and no web peer beyond the loopback address.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/child_process.hpp"

namespace corv_test {

// Fills folder as an installed program folder; without docs/ the program is not in its folder.
void prepareProgramFolder(const std::filesystem::path& folder, bool withDocs = true);

// Corv_P3D started in folder, its user folders and registry file inside, runtime as its runtime
// folder; headless unless display is given. Standard error goes to folder/stderr.txt.
ChildOptions programOptions(const std::filesystem::path& folder, const std::filesystem::path& runtime,
                            std::vector<std::string> arguments = {},
                            std::optional<std::string> display = std::nullopt);

}  // namespace corv_test
