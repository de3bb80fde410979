#include "foundation/xml_meta.hpp"

#include <exception>
#include <mutex>
#include <utility>

#include "foundation/constants.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/time_slots.hpp"

namespace {

std::mutex& lf_simulatorNameMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::string& lf_simulatorName()
{
    static std::string name = "P3D";
    return name;
}

}  // namespace

void gf_setMetaSimulatorName(std::string name)
{
    std::lock_guard<std::mutex> lock(lf_simulatorNameMutex());
    lf_simulatorName() = std::move(name);
}

std::string gf_metaSimulatorName()
{
    std::lock_guard<std::mutex> lock(lf_simulatorNameMutex());
    return lf_simulatorName();
}

bool gf_appendMetaInfo(pugi::xml_node meta, const std::string& name, const std::string& value)
{
    return gf_appendNamedValue(meta, "info", name, value);
}

bool gf_writeMetaInfo(pugi::xml_node parent)
{
    pugi::xml_node meta = parent.append_child("meta");
    if (!meta)
        return false;
    const std::string simulator = gf_metaSimulatorName();
    std::pair<std::string, std::string> simulatorEntry{META_P3D.name(), META_P3D.value()};
    if (simulator != "P3D")
        simulatorEntry = {META_MSFS.name(), simulator == SIM_NAME_MSFS ? "2020" : "2024"};
    const std::pair<std::string, std::string> entries[] = {
        {META_AUTHOR.name(), PROGRAM_ID},
        {META_VERSION.name(), PROGRAM_VERSION_TEXT},
        {META_DATE.name(), gf_dateText()},
        {META_COPYRIGHT.name(), META_COPYRIGHT.value()},
        simulatorEntry,
    };
    for (const auto& [name, value] : entries)
        if (!gf_appendMetaInfo(meta, name, value))
            return false;
    return true;
}

bool gf_readMetaInfo(const pugi::xml_node& node, StringParameter& parameter)
{
    try {
        const pugi::xml_node info = gf_selectByName(node, "/meta/info", parameter.name());
        parameter.setValue(info ? info.attribute(ATTR_VALUE.data()).as_string("") : "");
        return static_cast<bool>(info);
    } catch (const pugi::xpath_exception& e) {
        gf_log(e.what());
        parameter.setValue("");
        return false;
    }
}
