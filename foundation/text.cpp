#include "foundation/status_sink.hpp"
#include "foundation/text.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <fstream>
#include <stdexcept>

#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/safe_write.hpp"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t CHARSET_SAMPLE_BYTES = 4096;
constexpr std::size_t CHARSET_JUDGED_BYTES = 16 * 1024 * 1024;

[[noreturn]] void lf_invalidUtf8() { throw std::runtime_error("utf8_to_wide: invalid UTF-8"); }
[[noreturn]] void lf_invalidUtf16() { throw std::runtime_error("wide_to_utf8: invalid UTF-16"); }

bool lf_isHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool lf_isLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void lf_appendUtf8(std::string& out, char32_t code)
{
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// The detection's UTF-8 test of a sample: encoded surrogates pass, a sequence cut by the end of
// the sample fails.
bool lf_looksLikeUtf8(std::string_view sample)
{
    const std::size_t size = sample.size();
    std::size_t i = 0;
    while (i < size) {
        const unsigned char lead = static_cast<unsigned char>(sample[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        std::size_t continuation = 0;
        if ((lead & 0xE0) == 0xC0) {
            if (lead < 0xC2)
                return false;
            continuation = 1;
        } else if ((lead & 0xF0) == 0xE0) {
            continuation = 2;
        } else if ((lead & 0xF8) == 0xF0) {
            if (lead > 0xF4)
                return false;
            continuation = 3;
        } else {
            return false;
        }
        if (size - i - 1 < continuation)
            return false;
        for (std::size_t k = 1; k <= continuation; ++k) {
            if ((static_cast<unsigned char>(sample[i + k]) & 0xC0) != 0x80)
                return false;
        }
        const unsigned char second = static_cast<unsigned char>(sample[i + 1]);
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
            return false;
        i += continuation + 1;
    }
    return true;
}

// The whole content of a stream from its start; nothing when it is in a failed state.
std::string lf_readWholeStream(std::istream& stream)
{
    std::string content;
    if (!stream)
        return content;
    stream.seekg(0, std::ios::end);
    const std::streamoff size = stream.tellg();
    if (size <= 0) {
        stream.clear();
        stream.seekg(0, std::ios::beg);
        return content;
    }
    stream.seekg(0, std::ios::beg);
    content.resize(static_cast<std::size_t>(size));
    stream.read(content.data(), size);
    content.resize(static_cast<std::size_t>(stream.gcount()));
    return content;
}

// Through the one writer; a failure is logged with its reason and answered false.
bool lf_writeWhole(const fs::path& path, std::string_view bytes)
{
    std::string error;
    if (gf_writeFileSafely(path, bytes, error))
        return true;
    gf_logWarn(error);
    return false;
}

template <typename Container>
bool lf_writeEachLine(const Container& lines, const fs::path& path)
{
    std::string bytes;
    for (const std::string& line : lines) {
        bytes += line;
        bytes += '\n';
    }
    return lf_writeWhole(path, bytes);
}

// Without a byte-order mark the zero bytes of the first characters only suggest UTF-16; it is
// taken when the whole text reads so: no NUL character, and a text with line feeds has them as
// characters of their own. A damaged line of one character and NUL bytes, sorted first, would
// otherwise turn the whole file into UTF-16 garbage.
bool lf_readsAsUtf16(std::string_view text, Utf16Order order)
{
    bool lineFeedByte = false;
    bool lineFeedUnit = false;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        const auto first = static_cast<unsigned char>(text[i]);
        const auto second = static_cast<unsigned char>(text[i + 1]);
        const unsigned unit = order == Utf16Order::littleEndian ? (second << 8) | first : (first << 8) | second;
        if (unit == 0)
            return false;
        lineFeedByte = lineFeedByte || first == '\n' || second == '\n';
        lineFeedUnit = lineFeedUnit || unit == '\n';
    }
    return !lineFeedByte || lineFeedUnit;
}

// The character set of a text: a mark or the UTF-8 test by its first bytes (at most
// CHARSET_SAMPLE_BYTES are looked at), UTF-16 without a mark by the whole text.
Charset lf_charsetOfSample(std::string_view whole)
{
    const std::string_view sample = whole.substr(0, CHARSET_SAMPLE_BYTES);
    const std::size_t n = sample.size();
    std::array<unsigned char, 4> b{};
    for (std::size_t k = 0; k < b.size() && k < n; ++k)
        b[k] = static_cast<unsigned char>(sample[k]);

    if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
        return Charset::UTF8_with_BOM;
    if (n >= 2) {
        if (b[0] == 0xFF && b[1] == 0xFE)
            return Charset::Unicode;
        if (b[0] == 0xFE && b[1] == 0xFF)
            return Charset::Unicode_big_endian;
        // Text of mostly ASCII in UTF-16 shows its zero high bytes.
        if (b[1] == 0 && (n < 4 || b[3] == 0) && lf_readsAsUtf16(whole, Utf16Order::littleEndian))
            return Charset::Unicode;
        if (b[0] == 0 && (n < 4 || b[2] == 0) && lf_readsAsUtf16(whole, Utf16Order::bigEndian))
            return Charset::Unicode_big_endian;
    }
    if (sample.empty())
        return Charset::UTF8_without_BOM;
    return lf_looksLikeUtf8(sample) ? Charset::UTF8_without_BOM : Charset::ANSI;
}

// Appends the lines of a whole UTF-16 text; nothing is appended when it cannot be decoded.
void lf_decodeUtf16(std::string_view content, std::vector<std::string>& lines, Utf16Order orderWithoutMark)
{
    if (content.empty())
        return;
    // A lost byte would shift every following character: refuse rather than show garbage.
    if (content.size() % 2 != 0)
        throw std::runtime_error(vald::format("odd number of bytes ({}) in UTF-16 text", content.size()));
    const auto byteAt = [&content](std::size_t i) { return static_cast<unsigned char>(content[i]); };
    Utf16Order order = orderWithoutMark;
    std::size_t start = 0;
    if (byteAt(0) == 0xFF && byteAt(1) == 0xFE) {
        order = Utf16Order::littleEndian;
        start = 2;
    } else if (byteAt(0) == 0xFE && byteAt(1) == 0xFF) {
        order = Utf16Order::bigEndian;
        start = 2;
    }
    std::u16string units;
    units.reserve((content.size() - start) / 2);
    for (std::size_t i = start; i + 1 < content.size(); i += 2) {
        const unsigned first = byteAt(i);
        const unsigned second = byteAt(i + 1);
        units.push_back(static_cast<char16_t>(order == Utf16Order::littleEndian ? (second << 8) | first
                                                                                 : (first << 8) | second));
    }
    gf_splitLines(wide_to_utf8(units), lines);
}

}  // namespace

std::u16string utf8_to_wide(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        const unsigned char lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t code = 0;
        char32_t smallest = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2, code = lead & 0x1F, smallest = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3, code = lead & 0x0F, smallest = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4, code = lead & 0x07, smallest = 0x10000;
        } else {
            lf_invalidUtf8();
        }
        if (size - i < length)
            lf_invalidUtf8();
        for (std::size_t k = 1; k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                lf_invalidUtf8();
            code = (code << 6) | (next & 0x3F);
        }
        // Over-long forms, encoded surrogates and values beyond U+10FFFF are rejected.
        if (code < smallest || code > 0x10FFFF || lf_isHighSurrogate(code) || lf_isLowSurrogate(code))
            lf_invalidUtf8();
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i += length;
    }
    return out;
}

std::string wide_to_utf8(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char32_t unit = text[i];
        if (lf_isLowSurrogate(unit))
            lf_invalidUtf16();
        if (!lf_isHighSurrogate(unit)) {
            lf_appendUtf8(out, unit);
            continue;
        }
        if (i + 1 >= text.size() || !lf_isLowSurrogate(text[i + 1]))
            lf_invalidUtf16();
        const char32_t low = text[++i];
        lf_appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    }
    return out;
}

std::string gf_pathToUtf8(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

fs::path gf_pathFromUtf8(std::string_view text) { return fs::path(std::u8string(text.begin(), text.end())); }

Charset gf_detectCharset(const fs::path& path)
{
    std::ifstream in(path, std::ios::in | std::ios::binary);
    if (!in.is_open())
        return Charset::none_found;
    // UTF-16 without a mark is judged by the text as a whole; a file of any size is judged by its
    // first CHARSET_JUDGED_BYTES, never read whole into memory.
    std::string judged(CHARSET_JUDGED_BYTES, '\0');
    in.read(judged.data(), static_cast<std::streamsize>(judged.size()));
    judged.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return lf_charsetOfSample(judged);
}

std::string_view gf_charsetName(Charset charset)
{
    static constexpr std::array<std::string_view, 6> names = {
        "ANSI", "Unicode", "Unicode_big_endian", "UTF8_with_BOM", "UTF8_without_BOM", "none_found"};
    const auto index = static_cast<std::int32_t>(charset);
    if (index < 0 || index >= static_cast<std::int32_t>(names.size()))
        throw std::out_of_range("invalid map<K, T> key");
    return names[static_cast<std::size_t>(index)];
}

bool gf_readTextByCharset(Charset charset, const fs::path& path, std::vector<std::string>& lines)
{
    std::ifstream in(path, std::ios::in | std::ios::binary);
    if (!in.is_open())
        return false;
    switch (charset) {
    case Charset::Unicode:
    case Charset::Unicode_big_endian:
        try {
            gf_readUtf16File(in, lines,
                             charset == Charset::Unicode ? Utf16Order::littleEndian : Utf16Order::bigEndian);
        } catch (const std::exception& e) {
            gf_showStatus(vald::format("UTF16 read failed for '{}': {}", gf_pathToUtf8(path), e.what()));
            return false;
        }
        return true;
    case Charset::UTF8_with_BOM:
    case Charset::ANSI:
    case Charset::UTF8_without_BOM:
        gf_readStreamLines(in, lines);
        return true;
    default:
        throw std::runtime_error(
            vald::format("file {} has unknown charset: {}", gf_pathToUtf8(path), gf_charsetName(charset)));
    }
}

std::vector<std::string>& gf_readFileLines(TextFile& file, std::size_t reserve)
{
    file.lines.clear();
    std::ifstream in(file.path, std::ios::in | std::ios::binary);
    if (!in.is_open())
        return file.lines;
    file.lines.reserve(reserve);
    gf_readStreamLines(in, file.lines);
    return file.lines;
}

void gf_readStreamLines(std::istream& stream, std::vector<std::string>& lines)
{
    gf_splitLines(lf_readWholeStream(stream), lines);
}

void gf_splitLines(std::string_view text, std::vector<std::string>& lines)
{
    constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(byteOrderMark))
        text.remove_prefix(byteOrderMark.size());
    if (text.empty())
        return;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find('\n', start);
        std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        lines.emplace_back(line);
        if (end == std::string_view::npos || end + 1 == text.size())
            return;
        start = end + 1;
    }
}

void gf_readUtf16File(std::istream& stream, std::vector<std::string>& lines, Utf16Order orderWithoutMark)
{
    lf_decodeUtf16(lf_readWholeStream(stream), lines, orderWithoutMark);
}

FileRead gf_readTextFileLimited(const fs::path& path, std::size_t maxBytes, std::vector<std::string>& lines,
                                std::string& error)
{
    std::string bytes;
    const FileRead read = gf_readFileLimited(path, maxBytes, bytes, error);
    if (read != FileRead::ok)
        return read;
    const Charset charset = lf_charsetOfSample(bytes);
    if (charset != Charset::Unicode && charset != Charset::Unicode_big_endian) {
        gf_splitLines(bytes, lines);
        return FileRead::ok;
    }
    try {
        lf_decodeUtf16(bytes, lines, charset == Charset::Unicode ? Utf16Order::littleEndian : Utf16Order::bigEndian);
    } catch (const std::exception& e) {
        error = vald::format("{} cannot be read as UTF-16: {}", gf_pathToUtf8(path), e.what());
        return FileRead::malformed;
    }
    return FileRead::ok;
}

bool gf_writeFile(const std::string& text, const fs::path& path, bool addNewline)
{
    if (!addNewline)
        return lf_writeWhole(path, text);
    return lf_writeWhole(path, text + '\n');
}

bool gf_writeLines(const std::vector<std::string>& lines, const fs::path& path)
{
    return lf_writeEachLine(lines, path);
}

bool gf_writeLineList(const std::list<std::string>& lines, const fs::path& path)
{
    return lf_writeEachLine(lines, path);
}

