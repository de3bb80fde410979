#pragma once
// Client data definitions: per connection, a define id names an ordered list of simulation
// variables with units and wire types. Replies lay the variables out in that order; set-data
// packets carry them in the same order.
#include "standins/simulator/object_table.hpp"
#include "standins/simulator/requests.hpp"

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace standin_sim {

namespace datatype {
inline constexpr std::uint32_t Int64 = 2;
inline constexpr std::uint32_t Float64 = 4;
inline constexpr std::uint32_t String32 = 6;
inline constexpr std::uint32_t StringV = 11;  // variable length, terminated, padded to 4 bytes
}  // namespace datatype

// The simulator's UTC clock as the zulu datums report it.
struct ZuluTime {
    double secondsOfDay = 0;
    std::int64_t dayOfYear = 1;  // 1-based
    std::int64_t year = 1970;
};
ZuluTime zuluFromUnixSeconds(double unixSeconds);

struct DatumContext {
    double groundElevationFt = 0;
    ZuluTime zulu;
};

struct DatumSpec;  // one simulation variable the simulator knows

struct DefinedDatum {
    std::string name;
    std::string units;
    std::uint32_t dataType = 0;
    const DatumSpec* spec = nullptr;
    double unitFactor = 1.0;  // requested units per base unit
};

// Why the simulator refused a request: exception code and the 1-based field index.
struct Refusal {
    std::uint32_t code = 0;
    std::uint32_t index = 0;
    std::string reason;
};

class DefinitionTable {
public:
    // Adds one datum to a definition (creating it); a refusal leaves the definition unchanged.
    [[nodiscard]] std::optional<Refusal> add(const AddToDataDefinitionRequest& request);
    const std::vector<DefinedDatum>* find(std::uint32_t defineId) const;

private:
    std::map<std::uint32_t, std::vector<DefinedDatum>> defines_;
};

// The data block of a reply: each datum of the definition in order, in its type and units.
Bytes encodeDatums(const std::vector<DefinedDatum>& datums, const SimObject& object, const DatumContext& context);

// The size of one unit of set-data for the definition; nothing when it holds a
// variable-length string (such definitions cannot be set).
[[nodiscard]] std::optional<std::size_t> fixedUnitSize(const std::vector<DefinedDatum>& datums);

// Decodes one unit of set-data (fixedUnitSize bytes) and writes the datums that can be set to
// the object. Answers the decoded values by datum name, in the definition's units.
nlohmann::json applyDatums(const std::vector<DefinedDatum>& datums, std::span<const std::uint8_t> unit,
                           SimObject& object);

}  // namespace standin_sim
