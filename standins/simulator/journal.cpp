#include "standins/simulator/journal.hpp"

#include <fmt/format.h>
#include <stdexcept>

namespace standin_sim {

Journal::Journal() : clock_([] { return 0.0; }) {}

Journal::Journal(const std::filesystem::path& path, Clock clock) : out_(path, std::ios::app), clock_(std::move(clock)) {
    if (!out_) throw std::runtime_error(fmt::format("cannot open the journal {}", path.string()));
}

void Journal::write(std::string_view kind, nlohmann::json fields) {
    ++seq_;
    if (!out_.is_open()) return;
    nlohmann::ordered_json line = nlohmann::ordered_json::object();
    line["seq"] = seq_;
    line["t"] = clock_();
    line["frame"] = frames_;
    line["kind"] = std::string(kind);
    for (auto& [key, value] : fields.items()) line[key] = std::move(value);
    // Texts from the wire need not be UTF-8; replacing bad bytes keeps every line readable.
    out_ << line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
    out_.flush();
}

}  // namespace standin_sim
