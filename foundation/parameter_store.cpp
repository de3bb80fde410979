#include "foundation/parameter_store.hpp"

#include <sstream>
#include <system_error>

#include "foundation/constants.hpp"
#include "foundation/files.hpp"
#include "foundation/format.hpp"
#include "foundation/log.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameter_update.hpp"
#include "foundation/run_state.hpp"
#include "foundation/safe_write.hpp"
#include "foundation/strings.hpp"
#include "foundation/text.hpp"

namespace fs = std::filesystem;

namespace {

const char* const ENTRY_PATH = "/parameters/parameter";

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

bool lf_isFolderParameter(const std::string& name)
{
    return name.find("lfolder") != std::string::npos || name.find("afolder") != std::string::npos;
}

pugi::xml_node lf_findEntry(const pugi::xml_node& from, const std::string& name)
{
    return gf_selectByName(from, ENTRY_PATH, name);
}

// Finds an element below the entries: the program never writes one there, and a file that
// nests deeply would grow by its indentation at every save.
class NestingCheck : public pugi::xml_tree_walker {
public:
    bool nested = false;
    bool for_each(pugi::xml_node& node) override
    {
        // depth 0: the root element, 1: an entry.
        nested = node.type() == pugi::node_element && depth() >= 2;
        return !nested;
    }
};

// What lf_loadKeepingBroken found at the path of parameters.xml.
enum class [[nodiscard]] LoadedFile {
    loaded,       // the document holds it
    replaceable,  // none, or a broken one now kept as an older generation: a new one may be written
    keep,         // a broken one that could not be kept aside: writing over it would lose it
};

// Loads the file; when it exists but cannot be loaded, or nests elements where the program never
// does, keeps it as an older generation first, because whatever the caller writes next replaces
// it. The document is empty unless loaded.
LoadedFile lf_loadKeepingBroken(pugi::xml_document& document, const fs::path& path)
{
    std::string fault;
    const FileRead read = gf_loadXmlLimited(document, path, MAX_PARAMETERS_FILE_BYTES, fault);
    if (read == FileRead::ok) {
        fault.clear();
        NestingCheck check;
        document.traverse(check);
        if (check.nested)
            fault = vald::format("{} nests elements inside an entry", gf_pathToUtf8(path));
    }
    if (fault.empty())
        return LoadedFile::loaded;
    document.reset();
    std::error_code error;
    if (fs::exists(path, error)) {
        gf_logWarn(vald::format("{}, kept as an older generation", fault));
        if (!gf_saveUpto3GenerationsOf(path)) {
            gf_logWarn(vald::format("{} could not be kept: it is not written over", gf_pathToUtf8(path)));
            return LoadedFile::keep;
        }
    }
    return LoadedFile::replaceable;
}

bool lf_saveParametersFile(pugi::xml_document& document, const fs::path& path)
{
    // The data folder is made at start; a folder removed meanwhile must not lose the settings.
    std::error_code error;
    if (path.has_parent_path())
        fs::create_directories(path.parent_path(), error);
    return gf_saveXml(document, path);
}

void lf_logInitFailure(const std::string& name, const std::string& value)
{
    if (!gf_stopPending())
        gf_log(vald::format("{}Adding Init XML parameter '{}' with value '{}' failed!", "===> ", name, value));
}

void lf_appendInitBool(BoolParameter& parameter, pugi::xml_node parent)
{
    if (!gf_appendBoolParameter(parent, parameter.name(), parameter.defaultValue()))
        lf_logInitFailure(parameter.name(), lf_boolText(parameter.defaultValue()));
    parameter.setValue(parameter.defaultValue());
    gf_logBoolParameter(parameter);
}

void lf_appendInitInt(IntParameter& parameter, pugi::xml_node parent)
{
    if (!gf_appendIntParameter(parent, parameter.name(), parameter.defaultValue()))
        lf_logInitFailure(parameter.name(), vald::format("{}", parameter.defaultValue()));
    parameter.setValue(parameter.defaultValue());
    gf_logIntParameter(parameter);
}

void lf_appendInitString(StringParameter& parameter, pugi::xml_node parent)
{
    if (!gf_appendParameterNode(parent, parameter.name(), parameter.defaultValue()))
        lf_logInitFailure(parameter.name(), parameter.defaultValue());
    parameter.setValue(parameter.defaultValue());
    gf_logStringParameter(parameter);
}

// Reads every listed parameter from a loaded document and completes the document with the
// entries it lacks (only when it has a root "parameters"); empty folder entries are dropped. An
// entry that cannot be appended (no memory) is missed by this save only: the next start adds it.
void lf_readAll(const ParameterLists& lists, pugi::xml_document& document)
{
    const pugi::xml_node root = document.child("parameters");
    for (BoolParameter* parameter : lists.bools)
        if (parameter != nullptr && !gf_readBoolParameter(*parameter, document) && root)
            (void)gf_appendBoolParameter(root, parameter->name(), parameter->value());
    for (CheckBoxParameter* parameter : lists.checkBoxes)
        if (parameter != nullptr && !gf_readBoolParameter(*parameter, document) && root)
            (void)gf_appendBoolParameter(root, parameter->name(), parameter->value());
    for (IntParameter* parameter : lists.ints)
        if (parameter != nullptr && !gf_readIntParameter(*parameter, document, true) && root)
            (void)gf_appendIntParameter(root, parameter->name(), parameter->value());
    for (ComboParameter* parameter : lists.combos)
        if (parameter != nullptr && !gf_readIntParameter(*parameter, document, true) && root)
            (void)gf_appendIntParameter(root, parameter->name(), parameter->value());
    for (StringParameter* parameter : lists.strings) {
        if (parameter == nullptr)
            continue;
        if (lf_isFolderParameter(parameter->name())) {
            (void)gf_readFolderParameter(*parameter, document);
            if (parameter->value().empty())
                (void)gf_removeParameterEntry(document, parameter->name());
        } else if (!gf_readStringParameter(*parameter, document) && root) {
            (void)gf_appendParameterNode(root, parameter->name(), parameter->value());
        }
    }
    for (EditStringParameter* parameter : lists.editStrings)
        if (parameter != nullptr && !gf_readStringParameter(*parameter, document) && root)
            (void)gf_appendParameterNode(root, parameter->name(), parameter->value());
}

void lf_writeDefaults(const ParameterLists& lists, pugi::xml_node root)
{
    for (BoolParameter* parameter : lists.bools)
        if (parameter != nullptr)
            lf_appendInitBool(*parameter, root);
    for (CheckBoxParameter* parameter : lists.checkBoxes)
        if (parameter != nullptr)
            lf_appendInitBool(*parameter, root);
    for (IntParameter* parameter : lists.ints)
        if (parameter != nullptr)
            lf_appendInitInt(*parameter, root);
    for (ComboParameter* parameter : lists.combos)
        if (parameter != nullptr)
            lf_appendInitInt(*parameter, root);
    for (StringParameter* parameter : lists.strings)
        if (parameter != nullptr && !lf_isFolderParameter(parameter->name()))
            lf_appendInitString(*parameter, root);
    for (EditStringParameter* parameter : lists.editStrings)
        if (parameter != nullptr)
            lf_appendInitString(*parameter, root);
}

// The controls show what was loaded; done after the file lock is released.
void lf_showInControls(const ParameterLists& lists)
{
    for (CheckBoxParameter* parameter : lists.checkBoxes)
        if (parameter != nullptr)
            vald::gf_controls().setChecked(parameter->controlId(), parameter->value());
    for (ComboParameter* parameter : lists.combos)
        if (parameter != nullptr)
            gf_setIntParamText(*parameter);
    for (EditStringParameter* parameter : lists.editStrings)
        if (parameter != nullptr)
            gf_setStringParamText(*parameter);
}

void lf_saveOne(const Parameter& parameter, const std::string& value, const std::function<void()>& logLine)
{
    // A save that fails is logged; the value holds in memory and goes into the next save.
    static_cast<void>(gf_editParametersFile([&](pugi::xml_node parameters) {
        gf_setParameterEntry(parameters, parameter.name(), value);
        logLine();
    }));
}

template <typename T>
std::optional<T> lf_paramAs(const pugi::xml_node& node, const std::string& name,
                            T (*read)(const pugi::xml_attribute&))
{
    const pugi::xml_node entry = lf_findEntry(node, name);
    if (!entry)
        return std::nullopt;
    return read(entry.attribute(ATTR_VALUE.data()));
}

void lf_fallBackAtLimit(IntParameter& parameter, std::int32_t coordinate)
{
    const std::int32_t value = parameter.value();
    if (value != parameter.minimum() && value != parameter.maximum())
        return;
    parameter.setValue(coordinate);
    gf_saveIntParameter(parameter);
}

}  // namespace

pugi::xml_node gf_selectByName(const pugi::xml_node& from, const char* elementPath, const std::string& name)
{
    // The name travels as an XPath variable, so no character of it can change the query.
    pugi::xpath_variable_set variables;
    variables.set("name", name.c_str());
    const pugi::xpath_query query(vald::format("{}[@name = $name]", elementPath).c_str(), &variables);
    return from.select_node(query).node();
}

void gf_setParameterEntry(pugi::xml_node parameters, const std::string& name, const std::string& value)
{
    pugi::xml_node entry = lf_findEntry(parameters, name);
    if (entry) {
        if (pugi::xml_attribute attribute = entry.attribute(ATTR_VALUE.data()))
            attribute.set_value(value.c_str());
        return;
    }
    // Only a lack of memory fails it: the value then holds in memory until the next save.
    static_cast<void>(gf_appendParameterNode(parameters, name, value));
}

bool gf_removeParameterEntry(const pugi::xml_node& document, const std::string& name)
{
    pugi::xml_node entry = lf_findEntry(document, name);
    if (!entry)
        return false;
    entry.parent().remove_child(entry);
    if (!gf_stopPending())
        gf_log(vald::format("Parameter '{}' removed", name));
    return true;
}

std::mutex& gf_parametersFileMutex()
{
    static std::mutex mutex;
    return mutex;
}

pugi::xml_parse_result gf_loadParametersDocument(pugi::xml_document& document)
{
    std::lock_guard<std::mutex> lock(gf_parametersFileMutex());
    std::string error;
    pugi::xml_parse_result result;
    switch (gf_loadXmlLimited(document, gf_parametersPath(), MAX_PARAMETERS_FILE_BYTES, error)) {
    case FileRead::ok: result.status = pugi::status_ok; break;
    case FileRead::missing: result.status = pugi::status_file_not_found; break;
    case FileRead::malformed: result.status = pugi::status_bad_pcdata; break;
    case FileRead::tooLarge:
    case FileRead::unreadable: result.status = pugi::status_io_error; break;
    }
    return result;
}

bool gf_editParametersFile(const std::function<void(pugi::xml_node parameters)>& edit)
{
    const fs::path path = gf_parametersPath();
    std::lock_guard<std::mutex> lock(gf_parametersFileMutex());
    pugi::xml_document document;
    pugi::xml_node parameters;
    switch (lf_loadKeepingBroken(document, path)) {
    case LoadedFile::loaded:
        parameters = document.child("parameters");
        if (!parameters)
            parameters = document.append_child("parameters");
        break;
    case LoadedFile::replaceable:
        document.reset();
        parameters = document.append_child("parameters");
        break;
    case LoadedFile::keep:
        return false;
    }
    edit(parameters);
    return lf_saveParametersFile(document, path);
}

bool gf_loadParameters(const ParameterLists& lists)
{
    gf_log(gf_bannerLine(70, 0, true, false, "parameters"));
    const fs::path path = gf_parametersPath();
    const std::string pathText = gf_pathToUtf8(path);
    bool created = false;
    {
        std::lock_guard<std::mutex> lock(gf_parametersFileMutex());
        pugi::xml_document document;
        const LoadedFile loaded = lf_loadKeepingBroken(document, path);
        if (loaded == LoadedFile::loaded) {
            gf_log(vald::format("from '{}'", pathText));
            lf_readAll(lists, document);
        } else {
            gf_log(pathText + " not found, default values taken:");
            document.reset();
            lf_writeDefaults(lists, document.append_child("parameters"));
            created = true;
        }
        // A save that fails is logged; the values hold for this session.
        if (loaded != LoadedFile::keep)
            static_cast<void>(lf_saveParametersFile(document, path));
    }
    gf_log(gf_bannerLine(70, 10, false, true, ""));
    lf_showInControls(lists);
    return created;
}

void gf_loadAllParameters()
{
    if (gf_loadParameters(gf_startupParameterLists())) {
        // A first start scans the liveries and the add-on airports.
        gf_setBoolParamChecked(SCAN_LIVERIES, true);
        gf_setBoolParamChecked(SCAN_AIRPORTS, true);
    } else {
        lf_updateVersion();
    }
    gf_setMaxFitHalfHours(MAX_FIT.value(), true);
    (void)gf_setRangeNm(RANGE.value());
}

bool gf_readBoolParameter(BoolParameter& parameter, const pugi::xml_node& document)
{
    const pugi::xml_node entry = lf_findEntry(document, parameter.name());
    parameter.setValue(entry ? entry.attribute(ATTR_VALUE.data()).as_bool(false) : parameter.defaultValue());
    gf_logBoolParameter(parameter);
    return static_cast<bool>(entry);
}

bool gf_readIntParameter(IntParameter& parameter, const pugi::xml_node& document, bool log)
{
    const pugi::xml_node entry = lf_findEntry(document, parameter.name());
    parameter.setValue(entry ? entry.attribute(ATTR_VALUE.data()).as_int(0) : parameter.defaultValue());
    if (log)
        gf_logIntParameter(parameter);
    return static_cast<bool>(entry);
}

bool gf_readStringParameter(StringParameter& parameter, const pugi::xml_node& document)
{
    const pugi::xml_node entry = lf_findEntry(document, parameter.name());
    parameter.setValue(entry ? entry.attribute(ATTR_VALUE.data()).as_string("") : parameter.defaultValue());
    gf_logStringParameter(parameter);
    return static_cast<bool>(entry);
}

bool gf_readFolderParameter(StringParameter& parameter, const pugi::xml_node& document)
{
    const pugi::xml_node entry = lf_findEntry(document, parameter.name());
    parameter.setValue(entry ? entry.attribute(ATTR_VALUE.data()).as_string("") : parameter.defaultValue());
    if (!parameter.value().empty())
        gf_logStringParameter(parameter);
    return static_cast<bool>(entry);
}

bool gf_appendNamedValue(pugi::xml_node parent, const char* element, const std::string& name,
                         const std::string& value)
{
    pugi::xml_node entry = parent.append_child(element);
    if (!entry)
        return false;
    pugi::xml_attribute nameAttribute = entry.append_attribute(ATTR_NAME.data());
    if (!nameAttribute || !nameAttribute.set_value(name.c_str()))
        return false;
    pugi::xml_attribute valueAttribute = entry.append_attribute(ATTR_VALUE.data());
    return valueAttribute && valueAttribute.set_value(value.c_str());
}

bool gf_appendParameterNode(pugi::xml_node parent, const std::string& name, const std::string& value)
{
    return gf_appendNamedValue(parent, "parameter", name, value);
}

bool gf_appendBoolParameter(pugi::xml_node parent, const std::string& name, bool value)
{
    return gf_appendParameterNode(parent, name, lf_boolText(value));
}

bool gf_appendIntParameter(pugi::xml_node parent, const std::string& name, std::int32_t value)
{
    return gf_appendParameterNode(parent, name, vald::format("{}", value));
}

bool gf_removeParameter(const Parameter& parameter)
{
    const fs::path path = gf_parametersPath();
    std::lock_guard<std::mutex> lock(gf_parametersFileMutex());
    pugi::xml_document document;
    std::string error;
    if (gf_loadXmlLimited(document, path, MAX_PARAMETERS_FILE_BYTES, error) != FileRead::ok ||
        !document.child("parameters"))
        return false;
    if (!gf_removeParameterEntry(document, parameter.name()))
        return false;
    return lf_saveParametersFile(document, path);
}

void gf_setStringParameter(StringParameter& parameter, std::string value)
{
    if (parameter.value() != value)
        parameter.setValue(std::move(value));
    gf_writeParameter(parameter);
}

void gf_writeParameter(StringParameter& parameter)
{
    lf_saveOne(parameter, parameter.value(), [&parameter] { gf_logStringParameter(parameter); });
}

void gf_saveBoolParameter(BoolParameter& parameter)
{
    lf_saveOne(parameter, lf_boolText(parameter.value()), [&parameter] { gf_logBoolParameter(parameter); });
}

void gf_saveIntParameter(IntParameter& parameter)
{
    lf_saveOne(parameter, vald::format("{}", parameter.value()), [&parameter] { gf_logIntParameter(parameter); });
}

std::optional<bool> gf_paramAsBool(const pugi::xml_node& node, const std::string& name)
{
    return lf_paramAs<bool>(node, name, [](const pugi::xml_attribute& a) { return a.as_bool(false); });
}

std::optional<std::int32_t> gf_paramAsInt(const pugi::xml_node& node, const std::string& name)
{
    return lf_paramAs<std::int32_t>(node, name, [](const pugi::xml_attribute& a) { return a.as_int(0); });
}

std::optional<std::string> gf_paramAsString(const pugi::xml_node& node, const std::string& name)
{
    return lf_paramAs<std::string>(node, name,
                                   [](const pugi::xml_attribute& a) { return std::string(a.as_string("")); });
}

void gf_saveMainWindowPos(std::int32_t x, std::int32_t y)
{
    lf_fallBackAtLimit(MAIN_WINDOW_X, x);
    lf_fallBackAtLimit(MAIN_WINDOW_Y, y);
}

FileRead gf_loadXmlLimited(pugi::xml_document& document, const fs::path& path, std::size_t maxBytes,
                           std::string& error)
{
    document.reset();
    std::string bytes;
    const FileRead read = gf_readFileLimited(path, maxBytes, bytes, error);
    if (read != FileRead::ok)
        return read;
    const pugi::xml_parse_result parsed = document.load_buffer(bytes.data(), bytes.size());
    if (parsed)
        return FileRead::ok;
    document.reset();
    error = vald::format("{} cannot be loaded: {} at offset {}", gf_pathToUtf8(path), parsed.description(),
                         static_cast<long long>(parsed.offset));
    return FileRead::malformed;
}

std::string gf_xmlText(pugi::xml_document& document)
{
    pugi::xml_node declaration;
    for (pugi::xml_node child : document.children())
        if (child.type() == pugi::node_declaration) {
            declaration = child;
            break;
        }
    if (!declaration)
        declaration = document.prepend_child(pugi::node_declaration);
    for (const char* name : {"version", "encoding"})
        if (!declaration.attribute(name))
            declaration.append_attribute(name);
    declaration.attribute("version").set_value("1.0");
    declaration.attribute("encoding").set_value("UTF-8");

    std::ostringstream bytes;
    document.save(bytes, "  ", pugi::format_indent, pugi::encoding_utf8);
    return std::move(bytes).str();
}

bool gf_saveXml(pugi::xml_document& document, const fs::path& path, WriteDurability durability)
{
    std::string error;
    if (gf_writeFileSafely(path, gf_xmlText(document), error, durability))
        return true;
    gf_logWarn(error);
    return false;
}
