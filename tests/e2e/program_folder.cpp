#include "tests/e2e/program_folder.hpp"

#include "tests/refdata/sealed_files.hpp"
#include "tests/support/program_parameters.hpp"
#include "tests/support/temp_dir.hpp"

namespace corv_test {

namespace fs = std::filesystem;

namespace {

// Nothing listens on port 1 of the loopback address: every web request fails at once.
const char* const NO_PEER = "http://127.0.0.1:1";

}  // namespace

void prepareProgramFolder(const fs::path& folder, bool withDocs)
{
    if (withDocs)
        fs::create_directories(folder / "docs");
    const fs::path data = sourceDir() / "standins" / "data";
    writeSealed((folder / "input" / "dbase.enc").string(), readFile(data / "dbase.xml"));
    writeSealed((folder / "input" / "airports.enc").string(), readFile(data / "airports.xml"));
    // The liveries a scan would have found: the program reads them at every start.
    fs::create_directories(folder / "output");
    fs::copy_file(data / "LiveriesScanned.xml", folder / "output" / "LiveriesScanned.xml",
                  fs::copy_options::overwrite_existing);
    fs::create_directories(folder / "P3Dv5" / "Scenery");
    // The scans look at an empty add-on scenery folder and at the demo's livery tree (unless the
    // test brings a parameters.xml of its own).
    writeScanFolderParameters(folder / "config" / "Corv_P3D" / "parameters.xml", folder / "Addons", data / "liveries");
    writeFile(folder / "registry.txt", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5\\SetupPath=" +
                                           (folder / "P3Dv5").string() + "\n");
}

ChildOptions programOptions(const fs::path& folder, const fs::path& runtime, std::vector<std::string> arguments,
                            std::optional<std::string> display)
{
    ChildOptions options;
    options.program = binaryDir() / "Corv_P3D";
    options.arguments = std::move(arguments);
    options.environment = {{"DISPLAY", std::move(display)},
                           {"XDG_CONFIG_HOME", (folder / "config").string()},
                           {"XDG_RUNTIME_DIR", runtime.string()},
                           {"CORV_REGISTRY_FILE", (folder / "registry.txt").string()},
                           {"CORV_DOWNLOAD_BASE", NO_PEER},
                           {"CORV_API_BASE", NO_PEER}};
    options.workingFolder = folder;
    options.errorFile = folder / "stderr.txt";
    return options;
}

}  // namespace corv_test
