#include "standins/service/park_file.hpp"

#include <stdexcept>

#include <fmt/format.h>
#include <pugixml.hpp>

namespace service_standin {
namespace {

void info(pugi::xml_node meta, const char* name, const std::string& value) {
    auto n = meta.append_child("info");
    n.append_attribute("name") = name;
    n.append_attribute("value") = value.c_str();
}

void parameter(pugi::xml_node params, const char* name, const std::string& value) {
    auto n = params.append_child("parameter");
    n.append_attribute("name") = name;
    n.append_attribute("value") = value.c_str();
}

const char* boolText(bool b) { return b ? "true" : "false"; }

}  // namespace

void writeParkFile(const Airport& airport, const std::filesystem::path& file) {
    pugi::xml_document doc;
    auto decl = doc.append_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";

    auto meta = doc.append_child("meta");
    info(meta, "author", "Quorvex");
    info(meta, "version", "11.9.2");
    info(meta, "date", "2024-03-01");
    info(meta, "copyright", "Quorvex park position archive");
    info(meta, "P3D", "v5/v6");

    auto params = doc.append_child("parameters");
    parameter(params, "airport_name", airport.name);
    parameter(params, "publisher", "stock");
    parameter(params, "altitude", std::to_string(airport.elevationFt));
    if (airport.qfReal) parameter(params, "Qf_real", std::to_string(*airport.qfReal));
    if (airport.qfSoft) parameter(params, "Qf_soft", std::to_string(*airport.qfSoft));

    auto positions = doc.append_child("parkpositions");
    for (const Stand& s : airport.stands) {
        auto p = positions.append_child("parkpos");
        p.append_attribute("id") = s.id.c_str();
        p.append_attribute("latitude") = fmt::format("{:.6f}", s.lat).c_str();
        p.append_attribute("longitude") = fmt::format("{:.6f}", s.lon).c_str();
        p.append_attribute("heading") = fmt::format("{:.1f}", s.headingDeg).c_str();
        p.append_attribute("radius") = fmt::format("{:.1f}", s.radiusM).c_str();
        if (s.heli) {
            p.append_attribute("heli") = "true";
        } else {
            p.append_attribute("cargo") = boolText(s.cargo);
        }
        p.append_attribute("ramp") = boolText(s.ramp);
    }
    if (!doc.save_file(file.c_str(), "  ", pugi::format_default, pugi::encoding_utf8))
        throw std::runtime_error("cannot write " + file.string());
}

}  // namespace service_standin
