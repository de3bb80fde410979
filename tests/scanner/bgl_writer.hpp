#pragma once
// Writes small synthetic BGL scenery files for tests, benchmarks and fuzz seeds: airports with
// names, helipads and parking lists of both record kinds, inside an airport section, optionally
// behind another section. Self-contained (the standard library only), so the bytes it writes
// are an independent statement of the layout the reader expects.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace bgl_test {

struct Parking {
    std::uint32_t nameCode = 10;  // 10 = "g"
    std::uint32_t number = 1;
    std::uint32_t type = 3;       // 1..11 kept; 5 cargo
    float radiusM = 20.0F;
    float headingDeg = 90.0F;
    double lat = 52.3;
    double lon = 4.76;
    std::uint32_t airlineCodes = 0;
};

struct Helipad {
    double lat = 52.31;
    double lon = 4.77;
    float widthM = 20.0F;
    float headingDeg = 45.0F;
};

struct Airport {
    std::string icao = "EHAM";
    bool abKind = false;                  // record 0xAB with parking list 0xAD
    std::int32_t altitudeMm = 0;
    std::vector<std::string> names{"Schiphol"};
    std::vector<Helipad> helipads;        // written before the parking list
    std::vector<Parking> parkings;
    std::vector<Helipad> helipadsAfter;   // written after the parking list
};

inline void putU16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v)
{
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void putU32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline void putF32(std::vector<std::uint8_t>& b, std::size_t at, float v)
{
    std::uint32_t u = 0;
    std::memcpy(&u, &v, 4);
    putU32(b, at, u);
}
inline std::uint32_t packLon(double lon) { return static_cast<std::uint32_t>(std::llround((lon + 180.0) / 4.470348358154297e-07)); }
inline std::uint32_t packLat(double lat) { return static_cast<std::uint32_t>(std::llround((90.0 - lat) / 3.3527612686157227e-07)); }
inline std::uint32_t packIdent(const std::string& code)
{
    std::uint32_t v = 0;
    for (char c : code) {
        std::uint32_t d = 0;
        if (c >= '0' && c <= '9')
            d = static_cast<std::uint32_t>(c - '0' + 2);
        else if (c >= 'A' && c <= 'Z')
            d = static_cast<std::uint32_t>(c - 53);
        v = v * 38 + d;
    }
    return v << 5;
}

// A record head: id, then the size in bytes from byte 2.
inline std::vector<std::uint8_t> record(std::uint16_t id, std::size_t size)
{
    std::vector<std::uint8_t> r(size, 0);
    putU16(r, 0, id);
    putU32(r, 2, static_cast<std::uint32_t>(size));
    return r;
}

inline std::vector<std::uint8_t> nameRecord(const std::string& name)
{
    const std::size_t size = (6 + name.size() + 3) / 4 * 4;  // padded with NULs to whole words
    auto r = record(0x19, size);
    std::memcpy(r.data() + 6, name.data(), name.size());
    return r;
}

inline std::vector<std::uint8_t> helipadRecord(const Helipad& h)
{
    auto r = record(0x26, 36);
    putU32(r, 12, packLon(h.lon));
    putU32(r, 16, packLat(h.lat));
    putF32(r, 28, h.widthM);
    putF32(r, 32, h.headingDeg);
    return r;
}

inline std::vector<std::uint8_t> parkingListRecord(const std::vector<Parking>& parkings, bool abKind)
{
    const std::size_t entryWords = abKind ? 10 : 9;
    std::size_t size = 8;
    for (const Parking& p : parkings)
        size += 4 * (entryWords + p.airlineCodes);
    auto r = record(abKind ? 0xAD : 0x3D, size);
    putU16(r, 6, static_cast<std::uint16_t>(parkings.size()));
    std::size_t at = 8;
    for (const Parking& p : parkings) {
        putU32(r, at, (p.nameCode & 0x3F) | ((p.type & 0xF) << 8) | ((p.number & 0xFFF) << 12) | (p.airlineCodes << 24));
        putF32(r, at + 4, p.radiusM);
        putF32(r, at + 8, p.headingDeg);
        putU32(r, at + 28, packLon(p.lon));
        putU32(r, at + 32, packLat(p.lat));
        at += 4 * (entryWords + p.airlineCodes);
    }
    return r;
}

inline std::vector<std::uint8_t> airportRecord(const Airport& a)
{
    std::vector<std::uint8_t> body;
    auto append = [&body](const std::vector<std::uint8_t>& part) { body.insert(body.end(), part.begin(), part.end()); };
    for (const std::string& name : a.names)
        append(nameRecord(name));
    for (const Helipad& h : a.helipads)
        append(helipadRecord(h));
    if (!a.parkings.empty())
        append(parkingListRecord(a.parkings, a.abKind));
    for (const Helipad& h : a.helipadsAfter)
        append(helipadRecord(h));
    const std::size_t headBytes = a.abKind ? 60 : 56;
    auto r = record(a.abKind ? 0xAB : 0x3C, headBytes + body.size());
    putU32(r, 20, static_cast<std::uint32_t>(a.altitudeMm));
    putU32(r, 40, packIdent(a.icao));
    if (!body.empty())
        std::memcpy(r.data() + headBytes, body.data(), body.size());
    return r;
}

// Whether one of lines (of a scan log) holds part.
inline bool logHas(const std::vector<std::string>& lines, const std::string& part)
{
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
}

// An airport named "<icao> field" with parkings numbered from 1 along a line of latitude, and helipads.
inline Airport airport(const std::string& icao, int parkings, int helipads = 0)
{
    Airport a;
    a.icao = icao;
    a.names = {icao + " field"};
    for (int i = 1; i <= parkings; ++i) {
        Parking p;
        p.number = static_cast<std::uint32_t>(i);
        p.lat = 52.0 + i * 0.0005;
        a.parkings.push_back(p);
    }
    for (int i = 0; i < helipads; ++i)
        a.helipads.push_back(Helipad{52.5 + i * 0.001, 4.5, 20.0F, 30.0F});
    return a;
}

// A whole file: header, section table (an unrelated section first when asked), one subsection
// entry, then the airport records one after the other.
inline std::vector<std::uint8_t> bglFile(const std::vector<Airport>& airports, bool otherSectionFirst = false)
{
    const std::uint32_t sections = otherSectionFirst ? 2 : 1;
    const std::size_t subsectionTable = 56 + 20 * sections;
    const std::size_t firstRecord = subsectionTable + 16;
    std::vector<std::uint8_t> file(firstRecord, 0);
    putU32(file, 0, 0x19920201);
    putU32(file, 4, 56);
    putU32(file, 20, sections);
    std::size_t entry = 56;
    if (otherSectionFirst) {
        putU32(file, entry, 0x65);
        putU32(file, entry + 4, 0x40000);
        entry += 20;
    }
    putU32(file, entry, 3);
    putU32(file, entry + 4, 0x40000);
    putU32(file, entry + 8, 1);
    putU32(file, entry + 12, static_cast<std::uint32_t>(subsectionTable));
    for (const Airport& a : airports) {
        const auto r = airportRecord(a);
        file.insert(file.end(), r.begin(), r.end());
    }
    putU32(file, subsectionTable + 4, static_cast<std::uint32_t>(airports.size()));
    putU32(file, subsectionTable + 8, static_cast<std::uint32_t>(firstRecord));
    putU32(file, subsectionTable + 12, static_cast<std::uint32_t>(file.size() - firstRecord));
    putU32(file, entry + 16, static_cast<std::uint32_t>(file.size() - firstRecord));
    return file;
}

inline void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace bgl_test
