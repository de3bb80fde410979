// The download-site stand-in: encrypted data files (read back with the library's pull side),
// versions.json, the release zip, the park file, and which paths it serves.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

#include <pugixml.hpp>
#include <sodium.h>
#include <zip.h>

#include "standins/service/data_crypt.hpp"
#include "standins/http/client.hpp"
#include "standins/service/site.hpp"
#include "tests/support/temp_dir.hpp"

namespace service_standin {
namespace {

namespace fs = std::filesystem;
using corv_test::readFile;
using corv_test::TempDir;
using corv_test::writeFile;

constexpr std::size_t kCipherChunk = kPlainChunkBytes + crypto_secretstream_xchacha20poly1305_ABYTES;

DataKey testKey() {
    return parseKeyHex("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
}

struct Pulled {
    bool ok = false;
    std::string plain;
    std::vector<unsigned char> tags;
};

// Decrypts the way the program reads a data file: header, then messages of up to 4113 bytes.
Pulled pull(const std::string& encrypted, const DataKey& key) {
    Pulled out;
    if (sodium_init() < 0 || encrypted.size() < crypto_secretstream_xchacha20poly1305_HEADERBYTES) return out;
    crypto_secretstream_xchacha20poly1305_state state;
    const auto* bytes = reinterpret_cast<const unsigned char*>(encrypted.data());
    if (crypto_secretstream_xchacha20poly1305_init_pull(&state, bytes, key.data()) != 0) return out;
    std::size_t pos = crypto_secretstream_xchacha20poly1305_HEADERBYTES;
    std::vector<unsigned char> plain(kPlainChunkBytes);
    while (pos < encrypted.size()) {
        const std::size_t n = std::min(kCipherChunk, encrypted.size() - pos);
        unsigned long long plainLen = 0;
        unsigned char tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(&state, plain.data(), &plainLen, &tag, bytes + pos, n, nullptr, 0) != 0)
            return out;
        out.plain.append(reinterpret_cast<const char*>(plain.data()), plainLen);
        out.tags.push_back(tag);
        pos += n;
        if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) break;
    }
    out.ok = pos == encrypted.size();
    return out;
}

std::string patterned(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 31 + 7) % 251);
    return s;
}

TEST(ServiceSiteCrypt, EncryptedFileDecryptsInChunksEndingWithFinal) {
    TempDir dir;
    constexpr unsigned char M = crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
    constexpr unsigned char F = crypto_secretstream_xchacha20poly1305_TAG_FINAL;
    struct Case {
        std::size_t size;
        std::vector<unsigned char> tags;
    };
    for (const Case& c : {Case{10000, {M, M, F}}, Case{8192, {M, F}}, Case{4096, {F}}, Case{0, {F}}}) {
        const std::string plain = patterned(c.size);
        writeFile(dir / "plain.xml", plain);
        encryptFile(testKey(), dir / "plain.xml", dir / "plain.enc");
        const std::string enc = readFile(dir / "plain.enc");
        const std::size_t chunks = c.tags.size();
        EXPECT_EQ(enc.size(), crypto_secretstream_xchacha20poly1305_HEADERBYTES + c.size +
                                  chunks * crypto_secretstream_xchacha20poly1305_ABYTES)
            << c.size;
        const Pulled p = pull(enc, testKey());
        EXPECT_TRUE(p.ok) << c.size;
        EXPECT_EQ(p.plain, plain) << c.size;
        EXPECT_EQ(p.tags, c.tags) << c.size;
    }
    DataKey wrong = testKey();
    wrong[31] ^= 1;
    EXPECT_FALSE(pull(readFile(dir / "plain.enc"), wrong).ok);
}

TEST(ServiceSiteCrypt, KeyTextIsSixtyFourHexDigits) {
    const DataKey k = parseKeyHex("  000102030405060708090A0B0C0D0E0F101112131415161718191a1b1c1d1e1f\n");
    EXPECT_EQ(k[0], 0x00);
    EXPECT_EQ(k[10], 0x0a);
    EXPECT_EQ(k[31], 0x1f);
    EXPECT_THROW(parseKeyHex("0001"), std::runtime_error);
    EXPECT_THROW(parseKeyHex(std::string(63, '0') + "g"), std::runtime_error);
}

class ServiceSiteBuild : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path samples = fs::path(CORV_SOURCE_DIR) / "standins/data";
        writeFile(data.path() / "dbase.xml", readFile(samples / "dbase.xml"));
        writeFile(data.path() / "AIG-regcodes.xml", patterned(5000));
        scenario = parseScenario({
            {"airport",
             {{"icao", "EHAM"},
              {"name", "Amsterdam Schiphol"},
              {"elevationFt", -11},
              {"stands",
               {{{"id", "D2"}, {"lat", 52.3120371}, {"lon", 4.7614}, {"headingDeg", 220.44}, {"radiusM", 28}},
                {{"id", "S72"}, {"lat", 52.2936}, {"lon", 4.7655}, {"headingDeg", 340}, {"radiusM", 40}, {"cargo", true}}}}}},
            {"site", {{"dataMajor", 11}, {"versions", {{"p3d", "11.10.0"}, {"dbase", "2.3.4"}}}}},
        });
    }
    TempDir data;
    TempDir site;
    Scenario scenario;
};

TEST_F(ServiceSiteBuild, PublishesDataFilesVersionsReleaseAndParkFile) {
    std::ostringstream warnings;
    buildSite(scenario, SiteSetup{site.path(), data.path(), testKey()}, warnings);

    // Encrypted data files under the major version; the missing airports.xml is reported.
    const Pulled dbase = pull(readFile(site / "11/dbase.enc"), testKey());
    EXPECT_TRUE(dbase.ok);
    EXPECT_EQ(dbase.plain, readFile(data / "dbase.xml"));
    EXPECT_EQ(pull(readFile(site / "11/AIG-regcodes.enc"), testKey()).plain, patterned(5000));
    EXPECT_FALSE(fs::exists(site / "11/airports.enc"));
    EXPECT_NE(warnings.str().find("airports.xml"), std::string::npos);

    const auto versions = nlohmann::json::parse(readFile(site / "versions.json"));
    EXPECT_EQ(versions["p3d"], (nlohmann::json{{"major", 11}, {"minor", 10}, {"patch", 0}}));
    EXPECT_EQ(versions["dbase"]["minor"], 3);
    for (const char* key : {"airports", "aig", "liveries", "addons"}) EXPECT_EQ(versions[key]["major"], 1) << key;

    // The release holds exactly the installer.
    const fs::path zipFile = site / "release/setup_Corv_P3D_d_v11.10.0.zip";
    int error = 0;
    zip_t* zip = zip_open(zipFile.c_str(), ZIP_RDONLY, &error);
    ASSERT_NE(zip, nullptr);
    ASSERT_EQ(zip_get_num_entries(zip, 0), 1);
    EXPECT_STREQ(zip_get_name(zip, 0, 0), "install_new_version.exe");
    zip_stat_t stat;
    ASSERT_EQ(zip_stat_index(zip, 0, 0, &stat), 0);
    EXPECT_GT(stat.size, 0u);
    zip_close(zip);
    EXPECT_EQ(readFile(site / "docs/ReleaseNotes.pdf").rfind("%PDF", 0), 0u);

    // The park file: meta, parameters and parkpositions at the top level, as the program reads it.
    pugi::xml_document park;
    ASSERT_TRUE(park.load_file((site / "P3D/archive/stock/EHAM.xml").c_str()));
    for (const char* name : {"author", "date", "version"})
        EXPECT_TRUE(park.select_node(("/meta/info[@name='" + std::string(name) + "']").c_str())) << name;
    EXPECT_STREQ(park.select_node("/parameters/parameter[@name='altitude']").node().attribute("value").value(), "-11");
    const pugi::xml_node d2 = park.child("parkpositions").child("parkpos");
    EXPECT_STREQ(d2.attribute("id").value(), "D2");
    EXPECT_STREQ(d2.attribute("latitude").value(), "52.312037");
    EXPECT_STREQ(d2.attribute("heading").value(), "220.4");
    EXPECT_STREQ(d2.attribute("radius").value(), "28.0");
    EXPECT_TRUE(d2.next_sibling("parkpos").attribute("cargo").as_bool());
}

TEST_F(ServiceSiteBuild, WithoutAKeyNoDataFileIsPublishedAndBadVersionsAreRefused) {
    std::ostringstream warnings;
    buildSite(scenario, SiteSetup{site.path(), data.path(), std::nullopt}, warnings);
    EXPECT_FALSE(fs::exists(site / "11/dbase.enc"));
    EXPECT_TRUE(fs::exists(site / "versions.json"));

    scenario.versions.aig = "1.4";
    EXPECT_THROW(buildSite(scenario, SiteSetup{site.path(), data.path(), testKey()}, warnings), ScenarioError);
    scenario.versions.aig = "1.4.0x";
    EXPECT_THROW(versionsJson(scenario.versions), ScenarioError);
}

TEST(ServiceSiteFiles, ServesOnlyRegularFilesInsideTheSite) {
    TempDir root;
    writeFile(root / "site/11/dbase.enc", "x");
    writeFile(root / "secret.txt", "s");
    const fs::path site = root / "site";
    EXPECT_EQ(siteFile(site, "11/dbase.enc"), site / "11/dbase.enc");
    EXPECT_FALSE(siteFile(site, "../secret.txt"));
    EXPECT_FALSE(siteFile(site, "11/../../secret.txt"));
    EXPECT_FALSE(siteFile(site, (root / "secret.txt").string()));
    EXPECT_FALSE(siteFile(site, "11"));
    EXPECT_FALSE(siteFile(site, ""));
}

// The program as tests and the demo start it: the port on its first output line, the data files
// sealed with the key of the sample folder, a clean end on SIGTERM.
TEST(ServiceSiteProgram, ServesTheSampleDataSealedWithTheSampleKey) {
    const fs::path program = corv_test::binaryDir() / "standins/standin_service";
    if (!fs::exists(program)) GTEST_SKIP() << "standin_service is not built";
    const fs::path data = corv_test::sourceDir() / "standins/data";
    TempDir site;
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl(program.c_str(), program.c_str(), "--scenario", (data / "scenario-eham.json").c_str(), "--site",
              site.path().c_str(), "--frozen", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    FILE* lines = fdopen(out[0], "r");
    int port = 0;
    const bool started = std::fscanf(lines, "PORT %d", &port) == 1;
    std::fclose(lines);
    if (started) {
        standin_http::Client client("127.0.0.1", port);
        auto res = client.get("/downloads/11/airports.enc", standin_http::Headers{{"User-Agent", "Corv"}});
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200);
        const Pulled airports = pull(res->body, readKeyFile(data / "data-key.txt"));
        EXPECT_TRUE(airports.ok);
        EXPECT_EQ(airports.plain, readFile(data / "airports.xml"));
    }
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(started);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace service_standin
