#include "standins/service/site.hpp"

#include <charconv>
#include <fstream>
#include <stdexcept>

#include <fmt/format.h>
#include <zip.h>

#include "standins/service/park_file.hpp"

namespace service_standin {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct DataFile {
    const char* plain;
    const char* encrypted;
};
constexpr DataFile kDataFiles[] = {
    {"dbase.xml", "dbase.enc"}, {"airports.xml", "airports.enc"}, {"AIG-regcodes.xml", "AIG-regcodes.enc"}};

json versionObject(const std::string& text, const char* key) {
    int parts[3] = {0, 0, 0};
    const char* p = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 3; ++i) {
        const auto [next, ec] = std::from_chars(p, end, parts[i]);
        const bool last = i == 2;
        if (ec != std::errc() || (last ? next != end : (next == end || *next != '.')))
            throw ScenarioError(fmt::format("site.versions: '{}' must look like 11.9.2, not '{}'", key, text));
        p = next + (last ? 0 : 1);
    }
    return {{"major", parts[0]}, {"minor", parts[1]}, {"patch", parts[2]}};
}

void writeBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
    out.close();
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

void writeReleaseZip(const fs::path& file, const std::string& version) {
    int error = 0;
    zip_t* archive = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) throw std::runtime_error(fmt::format("cannot create {} (libzip error {})", file.string(), error));
    // libzip reads the buffer at zip_close, so it must live until then.
    const std::string installer = fmt::format("Corvalen installer {} (stand-in build)\n", version);
    zip_source_t* source = zip_source_buffer(archive, installer.data(), installer.size(), 0);
    if (!source || zip_file_add(archive, kInstallerEntry, source, ZIP_FL_OVERWRITE) < 0) {
        if (source) zip_source_free(source);
        zip_discard(archive);
        throw std::runtime_error("cannot add the installer to " + file.string());
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        throw std::runtime_error("cannot write " + file.string());
    }
}

}  // namespace

std::string releaseZipName(const std::string& version) { return fmt::format("setup_{}_d_v{}.zip", kProgramId, version); }

json versionsJson(const SiteVersions& v) {
    return {{"p3d", versionObject(v.p3d, "p3d")},
            {"airports", versionObject(v.airports, "airports")},
            {"aig", versionObject(v.aig, "aig")},
            {"liveries", versionObject(v.liveries, "liveries")},
            {"addons", versionObject(v.addons, "addons")},
            {"dbase", versionObject(v.dbase, "dbase")}};
}

void buildSite(const Scenario& scenario, const SiteSetup& setup, std::ostream& warnings) {
    const fs::path& root = setup.siteDir;
    fs::create_directories(root);
    writeBytes(root / "versions.json", versionsJson(scenario.versions).dump(2) + "\n");

    const fs::path dataFolder = root / std::to_string(scenario.dataMajor);
    fs::create_directories(dataFolder);
    if (!setup.key) warnings << "standin_service: no data key, no data file is served\n";
    for (const DataFile& f : kDataFiles) {
        if (!setup.key) break;
        const fs::path plain = setup.dataDir / f.plain;
        if (!fs::is_regular_file(plain)) {
            warnings << "standin_service: no " << plain.string() << ", " << f.encrypted << " is not served\n";
            continue;
        }
        encryptFile(*setup.key, plain, dataFolder / f.encrypted);
    }

    fs::create_directories(root / "release");
    writeReleaseZip(root / "release" / releaseZipName(scenario.versions.p3d), scenario.versions.p3d);

    fs::create_directories(root / "docs");
    writeBytes(root / "docs" / "ReleaseNotes.pdf",
               "%PDF-1.4\n% Corvalen release notes (stand-in placeholder)\n%%EOF\n");

    if (scenario.airport && !scenario.airport->stands.empty()) {
        const fs::path stock = root / "P3D" / "archive" / "stock";
        fs::create_directories(stock);
        writeParkFile(*scenario.airport, stock / (scenario.airport->icao + ".xml"));
    }
}

std::optional<fs::path> siteFile(const fs::path& siteDir, const std::string& relative) {
    const fs::path rel = fs::path(relative).lexically_normal();
    if (relative.empty() || rel.is_absolute() || rel.has_root_name()) return std::nullopt;
    for (const auto& part : rel)
        if (part == "..") return std::nullopt;
    const fs::path file = siteDir / rel;
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) return std::nullopt;
    return file;
}

}  // namespace service_standin
