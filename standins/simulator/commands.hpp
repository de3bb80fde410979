#pragma once
// The control channel: one command per line on the stand-in's standard input.
//   pause | unpause | teleport <lat> <lon> [announce] | loadflight <name> | drop | quit |
//   refuse <title> | creationdelay <seconds> | foreign
#include <optional>
#include <string>
#include <string_view>

namespace standin_sim {

struct Command {
    enum class Kind { Pause, Unpause, Teleport, LoadFlight, Drop, Quit, Refuse, CreationDelay, Foreign };
    Kind kind = Kind::Pause;
    double latitudeDeg = 0, longitudeDeg = 0;
    bool announce = false;
    std::string text;  // flight file name or title
    double seconds = 0;  // creation delay
};

struct ParsedCommand {
    std::optional<Command> command;  // nothing for a blank line or an error
    std::string error;               // why the line is not a command
};

[[nodiscard]] ParsedCommand parseCommand(std::string_view line);

}  // namespace standin_sim
