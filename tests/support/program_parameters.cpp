#include "tests/support/program_parameters.hpp"

#include <string>

#include "tests/support/temp_dir.hpp"

namespace corv_test {

namespace fs = std::filesystem;

void writeScanFolderParameters(const fs::path& parametersFile, const fs::path& airportsFolder,
                               const fs::path& liveriesFolder)
{
    if (fs::exists(parametersFile))
        return;
    std::string text = "<?xml version=\"1.0\"?>\n<parameters>\n";
    if (!airportsFolder.empty()) {
        fs::create_directories(airportsFolder);
        text += "  <parameter name=\"afolder0\" value=\"" + airportsFolder.string() + "\"/>\n";
    }
    if (!liveriesFolder.empty())
        text += "  <parameter name=\"lfolder0\" value=\"" + liveriesFolder.string() + "\"/>\n";
    text += "</parameters>\n";
    writeFile(parametersFile, text);
}

}  // namespace corv_test
