#pragma once
// Fixtures of the reference data: encrypted files made with libsodium's secret stream push (the
// program itself only decrypts), dbase.xml texts built from named sections, thrown messages.
#include <sodium.h>

#include <array>
#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "refdata/data_key.hpp"
#include "tests/support/temp_dir.hpp"

namespace corv_test {

// Header, then one message per 4096 plain bytes, the last one tagged FINAL unless final is false.
inline std::string sealStream(const std::string& plain, const std::array<unsigned char, 32>& key = DATA_FILE_KEY,
                              bool final = true)
{
    if (sodium_init() < 0)
        throw std::runtime_error("sodium_init failed");
    crypto_secretstream_xchacha20poly1305_state state;
    std::string out(crypto_secretstream_xchacha20poly1305_HEADERBYTES, '\0');
    crypto_secretstream_xchacha20poly1305_init_push(&state, reinterpret_cast<unsigned char*>(out.data()), key.data());
    std::vector<unsigned char> cipher(4096 + crypto_secretstream_xchacha20poly1305_ABYTES);
    std::size_t offset = 0;
    do {
        const std::size_t length = std::min<std::size_t>(4096, plain.size() - offset);
        const bool last = final && offset + length == plain.size();
        unsigned long long cipherLength = 0;
        crypto_secretstream_xchacha20poly1305_push(
            &state, cipher.data(), &cipherLength, reinterpret_cast<const unsigned char*>(plain.data()) + offset, length,
            nullptr, 0, last ? crypto_secretstream_xchacha20poly1305_TAG_FINAL : 0);
        out.append(reinterpret_cast<const char*>(cipher.data()), cipherLength);
        offset += length;
    } while (offset < plain.size());
    return out;
}

inline void writeSealed(const std::string& path, const std::string& plain) { writeFile(path, sealStream(plain)); }

// dbase.xml with every required section filled; changes replace sections, "-" removes one.
inline std::string dbaseXml(const std::map<std::string, std::string>& changes = {})
{
    std::map<std::string, std::string> sections = {
        {"aircrafts", R"(<aircraft types="A320,B738,B744,C172,C56X,EC35,F16"/>)"},
        {"high_performance", R"(<hpf types="F16"/>)"}, {"heavy", R"(<hvy types="B744"/>)"},
        {"large", R"(<lar types="A320,B738"/>)"}, {"buzjet", R"(<bzj types="C56X"/>)"},
        {"rotorcraft", R"(<rot types="EC35"/>)"}, {"cargo_types", R"(<cargo_type types="B744"/>)"},
        {"ICAO_airlines", R"(<ICAO codes="KLM,DLH,MPH"/>)"}, {"cargo_operators", R"(<ICAO codes="MPH"/>)"},
        {"simaddonsP3D", R"(<simaddonP3D arpts="EHAM"/>)"}};
    for (const auto& [name, inner] : changes)
        sections[name] = inner;
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    for (const auto& [name, inner] : sections)
        if (inner != "-")
            text += "<" + name + ">" + inner + "</" + name + ">\n";
    return text;
}

// A sample data file of standins/data, ending at its last '>', with a NUL byte in place of the
// '>' that closes its root (in dbase.xml its simaddonsP3D section: the parser took that NUL for
// the end of the text and read no later section) or, inside, in place of its middle byte.
inline std::string sampleWithNul(const std::string& stem, bool inside)
{
    std::string text = readFile(sourceDir() / "standins/data" / (stem + ".xml"));
    text.erase(text.rfind('>') + 1);
    const std::string close = "</" + (stem == "dbase" ? std::string("simaddonsP3D") : stem) + ">";
    text[inside ? text.size() / 2 : text.find(close) + close.size() - 1] = '\0';
    return text;
}

// The text of the std::exception that action throws; "no exception" when it returns.
inline std::string thrownMessage(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "no exception";
}

}  // namespace corv_test
