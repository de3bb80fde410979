#include "refdata/decrypt.hpp"

#include <pugixml.hpp>
#include <sodium.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/safe_write.hpp"
#include "refdata/data_key.hpp"

static_assert(crypto_secretstream_xchacha20poly1305_KEYBYTES == 32);
static_assert(crypto_secretstream_xchacha20poly1305_ABYTES + DATA_CHUNK_PLAIN_BYTES == DATA_CHUNK_CIPHER_BYTES);

namespace {

std::size_t lf_readUpTo(std::ifstream& in, unsigned char* buffer, std::size_t count)
{
    in.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(count));
    return static_cast<std::size_t>(in.gcount());
}

// The whole plain text of the encrypted file. Throws std::runtime_error with the reason it is not
// one: it cannot be opened, its header or a chunk does not authenticate, or its final chunk is missing.
std::string lf_decryptedText(const std::array<unsigned char, 32>& key, const std::string& encryptedPath)
{
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium could not be initialised");

    std::ifstream in(encryptedPath, std::ios::binary);
    if (!in.is_open())
        throw std::runtime_error("Could not open input file: " + encryptedPath);
    // The plain text is gathered whole and written once: a cut or damaged stream never leaves a
    // part of it where the old file was.
    std::string out;

    std::array<unsigned char, crypto_secretstream_xchacha20poly1305_HEADERBYTES> header{};
    // A file shorter than its header cannot be a stream of ours.
    if (lf_readUpTo(in, header.data(), header.size()) != header.size())
        throw std::runtime_error("Invalid header or key");

    crypto_secretstream_xchacha20poly1305_state state;
    if (crypto_secretstream_xchacha20poly1305_init_pull(&state, header.data(), key.data()) != 0)
        throw std::runtime_error("Invalid header or key");

    std::vector<unsigned char> cipher(DATA_CHUNK_CIPHER_BYTES, 0);
    std::vector<unsigned char> plain(DATA_CHUNK_PLAIN_BYTES, 0);
    bool finalSeen = false;
    std::size_t n = lf_readUpTo(in, cipher.data(), cipher.size());
    while (n != 0) {
        unsigned long long plainLength = 0;
        unsigned char tag = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(&state, plain.data(), &plainLength, &tag, cipher.data(), n,
                                                       nullptr, 0) != 0)
            throw std::runtime_error("Decryption failed");
        out.append(reinterpret_cast<const char*>(plain.data()), static_cast<std::size_t>(plainLength));
        if (tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL) {
            finalSeen = true;
            break;  // whatever follows the final chunk is not part of the stream
        }
        n = lf_readUpTo(in, cipher.data(), cipher.size());
    }
    sodium_memzero(&state, sizeof state);
    sodium_memzero(plain.data(), plain.size());

    // Every chunk authenticates on its own, so a file cut exactly between two chunks would pass
    // unnoticed; only the final tag proves that the whole file arrived.
    if (!finalSeen)
        throw std::runtime_error("Stream ends without its final chunk");
    return out;
}

// How many bytes one code unit of text takes in the encoding the XML parser reads it in. The
// parser tells the encoding from the first four bytes alone, so it is asked about those: its own
// answer, not a copy of its rules.
std::size_t lf_codeUnitBytes(const std::string& text)
{
    pugi::xml_document probe;
    const pugi::xml_parse_result probed =
        probe.load_buffer(text.data(), std::min<std::size_t>(text.size(), 4), pugi::parse_minimal);
    switch (probed.encoding) {
    case pugi::encoding_utf16_le:
    case pugi::encoding_utf16_be:
        return 2;
    case pugi::encoding_utf32_le:
    case pugi::encoding_utf32_be:
        return 4;
    default:
        return 1;
    }
}

}  // namespace

void DecryptedData::removeCopy() const
{
    if (!copy.empty())
        gf_removeFileWarn(copy);
}

std::optional<DecryptedData> gf_streamDecrypt(const std::filesystem::path& encrypted,
                                              const std::filesystem::path& plain)
{
    DecryptedData data;
    try {
        data.text = lf_decryptedText(DATA_FILE_KEY, encrypted.string());
    } catch (const std::exception& e) {
        gf_log(vald::format("{} exception: {}", "gf_streamDecrypt", e.what()));
        gf_removeFileWarn(plain);
        return std::nullopt;
    }
    // The writer leaves an old file whole when the new one does not fit; the reader needs no copy.
    std::string error;
    if (gf_writeFileSafely(plain, data.text, error))
        data.copy = plain;
    else
        gf_logWarn(vald::format("{} (the data is read all the same)", error));
    return data;
}

std::optional<std::string> gf_plainDataSizeFault(const std::string& text)
{
    if (text.size() <= MAX_PLAIN_DATA_BYTES)
        return std::nullopt;
    return vald::format("File is larger than {} bytes", MAX_PLAIN_DATA_BYTES);
}

std::optional<std::string> gf_nulByteFault(const std::string& text)
{
    const std::size_t unit = lf_codeUnitBytes(text);
    bool found = false;
    if (unit == 1) {
        found = text.find('\0') != std::string::npos;
    } else {
        // A last unit cut short is not read by the parser either.
        const auto zero = [](char c) { return c == '\0'; };
        for (std::size_t at = 0; !found && at + unit <= text.size(); at += unit)
            found = std::all_of(text.begin() + static_cast<std::ptrdiff_t>(at),
                                text.begin() + static_cast<std::ptrdiff_t>(at + unit), zero);
    }
    if (!found)
        return std::nullopt;
    return std::string("Text contains a NUL byte");
}

void ReaderLog::line(const std::string& text) const
{
    if (on)
        gf_log(text);
}

void ReaderLog::warn(const std::string& text) const
{
    if (on)
        gf_logWarn(text);
}

std::optional<std::string> gf_dataFileFault(const std::filesystem::path& encrypted, const PlainTextFault& read)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(encrypted, error);
    if (error)
        return "it cannot be read: " + error.message();
    if (size == 0)
        return "it is empty";
    std::string plain;
    try {
        plain = lf_decryptedText(DATA_FILE_KEY, encrypted.string());
    } catch (const std::exception& e) {
        return vald::format("it does not decrypt: {}", e.what());
    }
    return read(std::move(plain));
}
