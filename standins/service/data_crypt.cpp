#include "standins/service/data_crypt.hpp"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include <sodium.h>

#include "standins/service/form.hpp"

namespace service_standin {
namespace {

std::size_t readUpTo(std::ifstream& in, std::vector<unsigned char>& buffer) {
    in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(buffer.size()));
    return static_cast<std::size_t>(in.gcount());
}

}  // namespace

DataKey parseKeyHex(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    const auto last = text.find_last_not_of(" \t\r\n");
    text = first == std::string_view::npos ? std::string_view() : text.substr(first, last - first + 1);
    DataKey key{};
    if (text.size() != key.size() * 2) throw std::runtime_error("a data key is 64 hexadecimal digits");
    for (std::size_t i = 0; i < key.size(); ++i) {
        const int hi = hexDigitValue(text[2 * i]);
        const int lo = hexDigitValue(text[2 * i + 1]);
        if (hi < 0 || lo < 0) throw std::runtime_error("a data key is 64 hexadecimal digits");
        key[i] = static_cast<unsigned char>(hi * 16 + lo);
    }
    return key;
}

DataKey readKeyFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read the data key file " + file.string());
    std::stringstream text;
    text << in.rdbuf();
    return parseKeyHex(text.str());
}

void encryptFile(const DataKey& key, const std::filesystem::path& plain, const std::filesystem::path& encrypted) {
    if (sodium_init() < 0) throw std::runtime_error("libsodium cannot be initialised");
    std::ifstream in(plain, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + plain.string());
    std::ofstream out(encrypted, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + encrypted.string());

    crypto_secretstream_xchacha20poly1305_state state;
    unsigned char header[crypto_secretstream_xchacha20poly1305_HEADERBYTES];
    crypto_secretstream_xchacha20poly1305_init_push(&state, header, key.data());
    out.write(reinterpret_cast<const char*>(header), sizeof header);

    std::vector<unsigned char> current(kPlainChunkBytes);
    std::vector<unsigned char> next(kPlainChunkBytes);
    std::vector<unsigned char> cipher(kPlainChunkBytes + crypto_secretstream_xchacha20poly1305_ABYTES);
    std::size_t currentLen = readUpTo(in, current);
    // Reading one chunk ahead tells which chunk is the last, so it can carry the FINAL tag
    // (an empty file becomes one empty FINAL message).
    for (;;) {
        const std::size_t nextLen = currentLen == kPlainChunkBytes ? readUpTo(in, next) : 0;
        const unsigned char tag = nextLen == 0 ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                                               : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
        unsigned long long cipherLen = 0;
        crypto_secretstream_xchacha20poly1305_push(&state, cipher.data(), &cipherLen, current.data(), currentLen,
                                                   nullptr, 0, tag);
        out.write(reinterpret_cast<const char*>(cipher.data()), static_cast<std::streamsize>(cipherLen));
        if (nextLen == 0) break;
        std::swap(current, next);
        currentLen = nextLen;
    }
    if (in.bad()) throw std::runtime_error("cannot read " + plain.string());
    out.close();
    if (!out) throw std::runtime_error("cannot write " + encrypted.string());
}

}  // namespace service_standin
