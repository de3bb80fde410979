#include "foundation/parameter_update.hpp"

#include <filesystem>
#include <limits>
#include <string>
#include <system_error>
#include <utility>

#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/geodesy.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/parameters.hpp"
#include "foundation/program_id.hpp"
#include "foundation/text.hpp"
#include "platform/control_model.hpp"

namespace fs = std::filesystem;

namespace {

// {lowest value, result} from the highest band down: the first band whose lowest value the
// input reaches gives the result; below every band the last result holds.
constexpr std::int32_t LOWEST = std::numeric_limits<std::int32_t>::min();

struct Band {
    std::int32_t from;
    std::int32_t result;
};

template <std::size_t N>
std::int32_t lf_snap(const Band (&bands)[N], std::int32_t value)
{
    for (const Band& band : bands)
        if (value >= band.from)
            return band.result;
    return bands[N - 1].result;
}

std::string lf_versionText(const VersionData& version)
{
    return vald::format("{}.{}.{}", version.major, version.minor, version.patch);
}

bool lf_isOlder(const VersionData& a, const VersionData& b)
{
    if (a.major != b.major)
        return a.major < b.major;
    if (a.minor != b.minor)
        return a.minor < b.minor;
    return a.patch < b.patch;
}

bool lf_differs(const VersionData& a, const VersionData& b)
{
    return a.major != b.major || a.minor != b.minor || a.patch != b.patch;
}

void lf_removeAllIfExists(const fs::path& path)
{
    if (fs::exists(path))
        fs::remove_all(path);
}

void lf_removeIfExists(const fs::path& path)
{
    if (fs::exists(path))
        fs::remove(path);
}

// Older versions wrote airport files named by their four-letter code into the program folder.
// Any error ends this clean-up quietly: it is worth a try, not a failed start.
void lf_removeFourLetterXmlFiles()
{
    std::error_code error;
    const fs::path folder = fs::current_path(error);
    if (error)
        return;
    gf_log(gf_pathToUtf8(folder));
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const bool regular = it->is_regular_file(error);
        if (error)
            return;
        const fs::path& path = it->path();
        if (regular && path.extension() == ".xml" && path.stem().string().size() == 4) {
            fs::remove(path, error);
            if (error)
                return;
        }
    }
}

struct Migration {
    IntParameter* legacy;
    ComboParameter* successor;
    std::int32_t (*snap)(std::int32_t);
};

}  // namespace

std::int32_t gf_snapCount(std::int32_t count)
{
    if (count < 0 || count >= 300)
        return 500;
    static constexpr Band bands[] = {{88, 100}, {63, 75}, {38, 50}, {18, 25}, {1, 10}, {0, 0}};
    return lf_snap(bands, count);
}

std::int32_t gf_snapAirportRange(std::int32_t nm)
{
    static constexpr Band bands[] = {{27, 30}, {23, 25}, {18, 20}, {13, 15}, {8, 10}, {LOWEST, 5}};
    return lf_snap(bands, nm);
}

std::int32_t gf_snapRange(std::int32_t nm)
{
    if (nm >= 3 && nm <= 6)
        return nm;
    static constexpr Band bands[] = {{90, 100}, {73, 80}, {57, 65}, {45, 50}, {38, 40}, {33, 35}, {28, 30},
                                     {23, 25},  {19, 20}, {17, 18}, {15, 16}, {13, 14}, {11, 12}, {9, 10},
                                     {7, 8},    {LOWEST, 2}};
    return lf_snap(bands, nm);
}

std::int32_t gf_snapAltitude(std::int32_t feet)
{
    static constexpr Band bands[] = {{47000, 48000}, {27000, 36000}, {17000, 18000}, {15000, 16000},
                                     {13000, 14000}, {11000, 12000}, {9000, 10000},  {7000, 8000},
                                     {5000, 6000},   {3000, 4000},   {LOWEST, 2000}};
    return lf_snap(bands, feet);
}

float gf_halfHoursToHours(std::int32_t halfHours)
{
    // In tenths of an hour, so the table stays integral.
    static constexpr Band bands[] = {{44, 240}, {38, 210}, {32, 180}, {26, 150}, {22, 120}, {20, 110},
                                     {18, 100}, {16, 90},  {14, 80},  {12, 70},  {10, 60},  {9, 50},
                                     {8, 45},   {7, 40},   {6, 35},   {5, 30},   {4, 25},   {3, 20},
                                     {2, 15},   {1, 10},   {LOWEST, 5}};
    return static_cast<float>(lf_snap(bands, halfHours)) / 10.0f;
}

void gf_setMaxFitHalfHours(std::int32_t halfHours, bool quiet)
{
    const std::int32_t stored = MAX_FIT.setValue(halfHours);
    const float hours = MAX_FIT_FL.setValue(gf_halfHoursToHours(stored));
    if (auto index = MAX_FIT_FL.optionIndex(hours))
        vald::gf_controls().setSelection(MAX_FIT_FL.controlId(), static_cast<int>(*index));
    if (!quiet)
        gf_logIndented(vald::format("{:24}: {} (max number of half hours, is {:.1F} hrs decimal)", MAX_FIT.name(),
                                    stored, hours));
}

std::int32_t gf_setRangeNm(std::int32_t nm)
{
    const std::int32_t range = RANGE.setValue(nm);
    if (auto index = RANGE.optionIndex(range))
        vald::gf_controls().setSelection(RANGE.controlId(), static_cast<int>(*index));
    const std::int32_t radius = range * WHOLE_METRES_PER_NM + 10000;
    rangeNm.store(static_cast<double>(range));
    objectQueryRadiusM.store(radius);
    return radius;
}

void lf_updateVersion()
{
    const VersionData& program = gf_programVersion();
    const std::string programText = lf_versionText(program);
    const std::string storedText = PROGRAM_VERSION.value();
    if (storedText.empty()) {
        // The file was created at the previous start: nothing older to update.
        gf_setStringParameter(PROGRAM_VERSION, programText);
        return;
    }
    const VersionData stored(storedText);
    if (!lf_isOlder(stored, program)) {
        // Same version, or a downgrade: only the version that last wrote the file is recorded.
        if (lf_differs(stored, program))
            gf_setStringParameter(PROGRAM_VERSION, programText);
        return;
    }

    gf_log(vald::format("This is a version update from {} -> {}", lf_versionText(stored), programText));
    // Nothing reads these entries any more: one that stays (absent, or a failed save, which is
    // logged) does no harm.
    for (const char* name : {"CALLSIGN_OBJECTIDS", "PARK_FAKE", "SUPPRESS_STUB", "LOG"})
        static_cast<void>(gf_removeParameter(BoolParameter(name, false)));
    static_cast<void>(gf_removeParameter(StringParameter("PROGRAM_INSTALL_PATH", "")));

    lf_removeAllIfExists(TO_BE_LEARNED_OFFLINE_FOLDER);
    lf_removeIfExists(VERSIONS_JSON_FILE);
    lf_removeFourLetterXmlFiles();
    lf_removeIfExists(AIRPORTS_P3D_XML_PATH);
    lf_removeAllIfExists(NEW_VERSION_FOLDER);

    // The migrated values, the removal of their old entries and the new version go into one
    // save: either all of them reach the file or none does and the next start repeats the update.
    const bool migrate = lf_isOlder(stored, VersionData(11, 0, 2));
    static const Migration migrations[] = {
        {&CUSTOM_MAX_PARK, &MAX_PARK_SEL, gf_snapCount},
        {&MAX_LIVE, &MAX_LIVE_SEL, gf_snapCount},
        {&LATERAL_RANGE, &RANGE, gf_snapRange},
        {&AIRPORT_RANGE, &AIRP_RANGE, gf_snapAirportRange},
        {&AUTO_RANGE_ABOVE_HEIGHT, &AR_ABOVE_HEIGHT, gf_snapAltitude},
        {&AIRPORT_HEIGHT, &AIRP_HEIGHT, gf_snapAltitude},
    };
    PROGRAM_VERSION.setValue(programText);
    // A failed save is logged, and the next start repeats the update.
    static_cast<void>(gf_editParametersFile([&](pugi::xml_node parameters) {
        if (migrate) {
            for (const Migration& migration : migrations) {
                ComboParameter& successor = *migration.successor;
                successor.setValue(migration.snap(migration.legacy->value()));
                gf_setParameterEntry(parameters, successor.name(), vald::format("{}", successor.value()));
                gf_logIntParameter(successor);
                (void)gf_removeParameterEntry(parameters, migration.legacy->name());
            }
        }
        gf_setParameterEntry(parameters, PROGRAM_VERSION.name(), programText);
        gf_logStringParameter(PROGRAM_VERSION);
    }));
}
