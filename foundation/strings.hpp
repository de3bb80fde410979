#pragma once
// Small string and number helpers shared by the data-file readers, the log and the window:
// comma lists, case-insensitive extension tests, plural suffixes, number texts, the star banner
// of the log, the thread's random engine and prefixed numbers.
#include <cstdint>
#include <list>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

// Trimming removes exactly blank, tab, line feed and carriage return.
std::string gf_trim(std::string_view text);
// The trimmed pieces between delimiters, empty pieces included; an empty text gives none.
std::vector<std::string> gf_split(const std::string& text, char delimiter);
// The trimmed comma pieces, sorted byte-wise, duplicates removed.
std::list<std::string> gf_commaListToTokens(const std::string& text);
// "a, b" becomes "a,b"; a list without white space is left as it is.
void gf_normaliseCommaList(std::string& text);

// text upper-cased byte by byte equals reference, which is given in upper case (".XML").
bool gf_upperEquals(const std::string& reference, const std::string& text);
// b is a followed by one '*'.
bool gf_equalsBeforeStar(const std::string& a, const std::string& b);

// "2" for 2.0, "2.5" for 2.5.
std::string gf_formatNumber(float value);
// "s" or "": nothing for 1 (and for negative signed counts).
std::string_view gf_plural(std::int32_t count);
std::string_view gf_pluralLong(std::int64_t count);
std::string_view gf_pluralSize(std::uint64_t count);

// A line of stars about width + extra wide, with the text centred in it when it fits.
std::string gf_bannerLine(std::int64_t width, std::int64_t extra, bool leadingNewline, bool trailingNewline,
                          const std::string& text);

// One engine per thread, seeded once from std::random_device on first use in that thread.
std::mt19937& gf_threadRandomEngine();
// Test only: reseeds the calling thread's engine so a test can repeat a sequence.
void gf_seedThreadRandomEngineForTest(std::uint32_t seed);
void gf_shuffle(std::vector<std::string>& items);
// value plus or minus percent of it, the sign drawn at random; value itself when percent <= 0.
double gf_randomisePercent(double value, double percent);

// Reads the number that follows a four-character airport code in texts that begin with prefix:
// "EHAM12" with prefix "EHAM" sets target to 12. Answers whether the text began with prefix; an
// unreadable number leaves target unchanged and logs a warning.
class gf_parsePrefixedNumber {
public:
    gf_parsePrefixedNumber(std::string context, std::string prefix, std::int32_t& target);
    bool operator()(const std::string& text) const;

private:
    std::string context_;
    std::string prefix_;
    std::int32_t& target_;
};

// The attribute's value, or "" when the node has no such attribute.
std::string gf_getAttrString(const pugi::xml_node& node, const std::string& name);
