#include "standins/simulator/commands.hpp"

#include <charconv>
#include <cmath>
#include <sstream>

namespace standin_sim {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

std::optional<double> number(const std::string& word) {
    double value = 0;
    const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), value);
    if (ec != std::errc() || end != word.data() + word.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

ParsedCommand teleport(std::string_view arguments) {
    std::istringstream words{std::string(arguments)};
    std::string lat, lon, flag, extra;
    words >> lat >> lon >> flag >> extra;
    const auto latitude = number(lat);
    const auto longitude = number(lon);
    if (!latitude || !longitude) return {std::nullopt, "teleport needs <lat> <lon> in degrees"};
    if (std::abs(*latitude) > 90.0 || std::abs(*longitude) > 180.0) return {std::nullopt, "teleport position out of range"};
    if ((!flag.empty() && flag != "announce") || !extra.empty()) return {std::nullopt, "teleport takes only 'announce' after the position"};
    Command command{Command::Kind::Teleport, *latitude, *longitude, flag == "announce", {}};
    return {command, {}};
}

ParsedCommand creationDelay(std::string_view arguments) {
    const auto seconds = number(std::string(arguments));
    if (!seconds || *seconds < 0 || *seconds > 600) return {std::nullopt, "creationdelay needs 0..600 seconds"};
    return {Command{Command::Kind::CreationDelay, 0, 0, false, {}, *seconds}, {}};
}

}  // namespace

ParsedCommand parseCommand(std::string_view line) {
    const std::string_view text = trimmed(line);
    if (text.empty()) return {};
    const auto space = text.find_first_of(" \t");
    const std::string_view word = text.substr(0, space);
    const std::string_view rest = space == std::string_view::npos ? std::string_view{} : trimmed(text.substr(space));

    auto bare = [&](Command::Kind kind) -> ParsedCommand {
        if (!rest.empty()) return {std::nullopt, std::string(word) + " takes no argument"};
        return {Command{kind, 0, 0, false, {}}, {}};
    };
    auto withText = [&](Command::Kind kind) -> ParsedCommand {
        if (rest.empty()) return {std::nullopt, std::string(word) + " needs a text"};
        return {Command{kind, 0, 0, false, std::string(rest)}, {}};
    };

    if (word == "pause") return bare(Command::Kind::Pause);
    if (word == "unpause") return bare(Command::Kind::Unpause);
    if (word == "drop") return bare(Command::Kind::Drop);
    if (word == "quit") return bare(Command::Kind::Quit);
    if (word == "teleport") return teleport(rest);
    if (word == "loadflight") return withText(Command::Kind::LoadFlight);
    if (word == "refuse") return withText(Command::Kind::Refuse);
    if (word == "creationdelay") return creationDelay(rest);
    if (word == "foreign") return bare(Command::Kind::Foreign);
    return {std::nullopt, "unknown command '" + std::string(word) + "'"};
}

}  // namespace standin_sim
