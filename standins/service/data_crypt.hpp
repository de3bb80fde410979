#pragma once
// Encryption of the reference data files as the download site publishes them: a libsodium
// secret stream (XChaCha20-Poly1305): the 24-byte header, then one message per 4096 bytes of
// plain text, the last one tagged FINAL.
#include <array>
#include <filesystem>
#include <string_view>

namespace service_standin {

using DataKey = std::array<unsigned char, 32>;

inline constexpr std::size_t kPlainChunkBytes = 4096;

// 64 hexadecimal digits (blanks and line ends around them are ignored); throws std::runtime_error.
DataKey parseKeyHex(std::string_view text);
DataKey readKeyFile(const std::filesystem::path& file);

// Throws std::runtime_error when a file cannot be read or written.
void encryptFile(const DataKey& key, const std::filesystem::path& plain, const std::filesystem::path& encrypted);

}  // namespace service_standin
