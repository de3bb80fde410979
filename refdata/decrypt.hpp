#pragma once
// Decryption of the delivered data files (*.enc): a libsodium secret stream (XChaCha20-Poly1305)
// of a 24-byte header followed by chunks of 4096 plain bytes plus 17 bytes of overhead each; the
// last chunk carries the FINAL tag. The program only ever decrypts. The readers of dbase, airports
// and AIG-regcodes (start-up, the liveries scan) take the decrypted text in memory from here, with
// a plain copy beside the encrypted file that may be missing (a full disk), and share the checks
// before parsing: its size, and a NUL character by the encoding the parser reads it in. The check
// of a download (refdata/downloads) decrypts without a copy.
#include <array>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

// Plain bytes per chunk and the size of one full cipher chunk.
inline constexpr std::size_t DATA_CHUNK_PLAIN_BYTES = 4096;
inline constexpr std::size_t DATA_CHUNK_CIPHER_BYTES = 4096 + 17;

// A data file decrypted whole for its reader: its plain text, which the reader reads, and the
// plain copy written beside the encrypted file, which the reader removes once it has read the
// text (empty when the copy could not be written).
struct DecryptedData {
    std::string text;
    std::filesystem::path copy;
    // Removes the plain copy, if one was written (gf_removeFileWarn); whatever stood at its path
    // when the copy could not be written is not the program's to remove.
    void removeCopy() const;
};

// Decrypts encrypted with the program's key and writes its plain copy to plain (created or
// replaced whole). Nothing when it does not decrypt: it then logs "gf_streamDecrypt exception:
// <reason>" and removes the plain file. A copy that cannot be written (a full disk) does not stop
// the reader, which has the text in memory: that is logged as a warning with the reason, and
// the text comes without a copy, leaving what stood at plain as it was. The encrypted file is
// never changed.
[[nodiscard]] std::optional<DecryptedData> gf_streamDecrypt(const std::filesystem::path& encrypted,
                                                            const std::filesystem::path& plain);

// The most bytes of a plain data file a reader takes: far beyond any delivered file.
inline constexpr std::size_t MAX_PLAIN_DATA_BYTES = 256u * 1024u * 1024u;

// Why a reader at start-up refuses a decrypted text before parsing it: it is larger than
// MAX_PLAIN_DATA_BYTES. Worded as the parser words its reasons; nothing when it is not.
[[nodiscard]] std::optional<std::string> gf_plainDataSizeFault(const std::string& text);

// Why every reader of a data file refuses its plain text before parsing it: the XML parser takes a
// NUL character for the end of the text and would read only what stands before it, without a word
// of the rest. The parser also reads UTF-16 and UTF-32, which it tells from the first four bytes
// (a byte-order mark, or how the first '<' is written); in those a NUL character is a code unit of
// zero, not any zero byte, which most of their characters hold. Worded as the parser words its
// reasons; nothing when the text holds no NUL character.
[[nodiscard]] std::optional<std::string> gf_nulByteFault(const std::string& text);

// How a reader of a data file speaks: to the log when it loads the file at start-up, not at all
// when it only checks a downloaded copy (whose fault the download tells in a line of its own).
struct ReaderLog {
    bool on = true;
    void line(const std::string& text) const;
    void warn(const std::string& text) const;
};

// The reader that loads a data file at start-up, asked about a plain text: why it would not load
// it, or nothing when it would.
using PlainTextFault = std::function<std::optional<std::string>(std::string plain)>;

// Why the encrypted data file could not be used as the program uses it: it is empty, it does not
// decrypt whole with the program's key, or read (the reader that loads it) finds a fault in its
// plain text. Nothing when it can. Logs nothing and leaves no plain file: a downloaded file is
// checked with it before it takes the place of the copy the program reads now.
[[nodiscard]] std::optional<std::string> gf_dataFileFault(const std::filesystem::path& encrypted,
                                                          const PlainTextFault& read);
