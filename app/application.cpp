#include "app/application.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <exception>
#include <system_error>

#include <pugixml.hpp>

#include "app/closing.hpp"
#include "app/commands.hpp"
#include "app/control_table.hpp"
#include "app/main_window.hpp"
#include "app/message_lines.hpp"
#include "app/run_state.hpp"
#include "app/window_controls.hpp"
#include "app/worker.hpp"
#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/text.hpp"
#include "platform/known_folders.hpp"
#include "platform/single_instance.hpp"
#include "foundation/status_display.hpp"

namespace fs = std::filesystem;

namespace {

// The named mutex of a running instance.
const char* const INSTANCE_MUTEX_NAME = "Local\\$Corv_P3D$";
constexpr int WINDOW_WIDTH = 880;
constexpr int WINDOW_HEIGHT = 516;
// A start that cannot go on (no log, no data folder, no window) ends with this code.
constexpr int START_FAILURE_EXIT_CODE = 1;

std::string lf_lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool lf_makeDataFolder()
{
    const fs::path folder = gf_dataFolder();
    try {
        if (!fs::exists(folder))
            fs::create_directories(folder);
        return true;
    } catch (const fs::filesystem_error& e) {
        gf_log(vald::format("Failed to create directory: {}", e.what()));
        return false;
    }
}

}  // namespace

std::optional<bool> lf_productionSwitch(const std::vector<std::string>& arguments)
{
    std::optional<bool> production;
    for (const std::string& argument : arguments) {
        const std::string lower = lf_lower(argument);
        if (lower == "--production" || lower == "/production")
            production = true;
        else if (lower == "--no-production" || lower == "/no-production")
            production = false;
    }
    return production;
}

fs::path gf_appDataPath()
{
    const std::optional<fs::path> folder = vald::gf_roamingAppDataFolder();
    if (folder && !folder->empty())
        return *folder;
    gf_logWarn("Could not find the AppData path");
    return fs::path();
}

WindowPosition lf_readWindowPosition()
{
    const fs::path path = gf_parametersPath();
    try {
        pugi::xml_document document;
        if (gf_loadParametersDocument(document)) {
            gf_readIntParameter(MAIN_WINDOW_X, document, false);
            gf_readIntParameter(MAIN_WINDOW_Y, document, false);
            gf_saveMainWindowPos(MAIN_WINDOW_X.defaultValue(), MAIN_WINDOW_Y.defaultValue());
            return WindowPosition{MAIN_WINDOW_X.value(), MAIN_WINDOW_Y.value()};
        }
        if (fs::exists(path)) {
            gf_logWarn(vald::format("{} failed to load, syntax error?\n --> saved as 0.xml,  file removed\n",
                                    gf_pathToUtf8(path)));
            std::lock_guard<std::mutex> lock(gf_parametersFileMutex());
            // Removed only when its copy aside is whole: it may hold the user's only settings.
            if (gf_save1GenerationOf(path))
                fs::remove(path);
        }
    } catch (const std::exception& e) {
        // The window opens all the same, where the defaults put it.
        gf_logWarn(vald::format("Reading the window position failed: {}", e.what()));
    }
    MAIN_WINDOW_X.setValue(MAIN_WINDOW_X.defaultValue());
    MAIN_WINDOW_Y.setValue(MAIN_WINDOW_Y.defaultValue());
    return WindowPosition{MAIN_WINDOW_X.value(), MAIN_WINDOW_Y.value()};
}

bool initInstance(vald::UiPort& port, MainWindow& window, const std::string& title)
{
    const WindowPosition position = lf_readWindowPosition();
    (void)gf_installComboTextRule();
    vald::WindowSpec spec;
    spec.title = title;
    spec.x = position.x;
    spec.y = position.y;
    spec.width = WINDOW_WIDTH;
    spec.height = WINDOW_HEIGHT;
    spec.controls = lf_createControls();
    return port.createWindow(spec, window);
}

int gf_runApplication(const std::vector<std::string>& arguments)
{
    const std::optional<bool> production = lf_productionSwitch(arguments);
    const std::string title = PROGRAM_ID;
    std::unique_ptr<vald::UiPort> port = vald::gf_makeUiPort();
    if (port->headless())
        gf_log("No display: running without a window");
    (void)gf_appDataPath();
    if (!lf_makeDataFolder())
        return START_FAILURE_EXIT_CODE;

    vald::gf_setWindowPort(port.get());
    gf_registerMessageLineHooks();
    gf_registerCommands();
    int result = START_FAILURE_EXIT_CODE;
    {
        MainWindow window(*port, &lf_workerThread);
        if (!initInstance(*port, window, title)) {
            gf_logWarn("initInstance failed");
        } else {
            if (production)
                productionMode.store(*production);
            port->post(vald::UiMessage::StartRun);
            result = port->runLoop();
        }
        window.joinWorker();
    }
    vald::gf_setWindowPort(nullptr);
    return result;
}

int gf_main(int argc, char** argv)
{
    const vald::SingleInstance instance(INSTANCE_MUTEX_NAME);
    if (instance.state() == vald::SingleInstance::State::AlreadyRunning)
        return -1;
    vald::gf_installCloseSignals();
    try {
        gf_openLog();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return START_FAILURE_EXIT_CODE;
    }
    if (instance.state() == vald::SingleInstance::State::Unavailable)
        gf_logWarn(vald::format("Single-instance lock unavailable: {}", gf_pathToUtf8(instance.lockFile())));
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.emplace_back(argv[i]);
    const int result = gf_runApplication(arguments);
    gf_leaveIfThreadsRemain(result);
    return result;
}
