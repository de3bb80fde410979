#pragma once
// The stand-in's journal: one JSON object per line, written and flushed as it happens, so a
// test can read what the simulator received and did while it still runs.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <string_view>

namespace standin_sim {

class Journal {
public:
    using Clock = std::function<double()>;  // seconds since the start

    // A journal that writes nothing (no --journal given).
    Journal();
    // Appends to the file; throws std::runtime_error when it cannot be opened.
    Journal(const std::filesystem::path& path, Clock clock);

    // Writes {"seq": n, "t": seconds, "frame": frames, "kind": kind, ...fields} and flushes the
    // line. frames counts the simulator's frames so far, a clock that tests can count on where
    // the wall clock of a busy machine would mislead.
    void write(std::string_view kind, nlohmann::json fields = nlohmann::json::object());
    std::uint64_t linesWritten() const { return seq_; }
    void setFrames(std::uint64_t frames) { frames_ = frames; }

private:
    std::ofstream out_;
    Clock clock_;
    std::uint64_t seq_ = 0;
    std::uint64_t frames_ = 0;
};

}  // namespace standin_sim
