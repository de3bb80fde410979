#include "app/edit_fields.hpp"

#include <filesystem>
#include <system_error>

#include "app/message_lines.hpp"
#include "app/run_requests.hpp"
#include "app/window_controls.hpp"
#include "foundation/format.hpp"
#include "foundation/parameter_controls.hpp"
#include "foundation/parameter_store.hpp"
#include "foundation/program_id.hpp"
#include "foundation/run_state.hpp"
#include "foundation/text.hpp"
#include "refdata/airports.hpp"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t MIN_CALLSIGN_LENGTH = 4;
constexpr std::size_t MAX_CALLSIGN_LENGTH = 8;
constexpr std::size_t ICAO_CODE_LENGTH = 4;
constexpr std::int32_t INSTALL_PATH_RESTART_DELAY_S = 3;

// A rejected entry: the reason is shown (and logged), the field shows the parameter again.
void lf_reject(const EditStringParameter& field, const std::string& reason)
{
    gf_showStatus(reason, true);
    gf_setStringParamText(field);
}

}  // namespace

std::string gf_upperAscii(std::string_view text)
{
    std::string upper(text);
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return upper;
}

const EditStringParameter* lf_editFieldOf(vald::ControlId id)
{
    for (const EditStringParameter* field : {&ALL_INSTALL_PATH, &BLOCK_CALLSIGN, &DESTINATION})
        if (field->controlId() == id)
            return field;
    return nullptr;
}

bool lf_editSubclassProc(const EditStringParameter& parameter, vald::ControlEvent event)
{
    if (event != vald::ControlEvent::EnterPressed || lf_editFieldOf(parameter.controlId()) != &parameter)
        return false;
    gf_clearStatus();
    if (&parameter == &BLOCK_CALLSIGN)
        lf_blockCallsign();
    else if (&parameter == &DESTINATION)
        lf_enterDestination();
    else
        lf_setInstallPath(lf_getTextFromId(ALL_INSTALL_PATH.controlId()));
    return true;
}

void lf_blockCallsign()
{
    gf_clearStatus();
    const std::string typed = lf_getTextFromId(BLOCK_CALLSIGN.controlId());
    if (typed.empty()) {
        if (!BLOCK_CALLSIGN.value().empty())
            lf_unblockCallsign();
        return;
    }
    if (typed.size() < MIN_CALLSIGN_LENGTH || typed.size() > MAX_CALLSIGN_LENGTH) {
        lf_reject(BLOCK_CALLSIGN, vald::format("callsign '{}' is not valid", typed));
        return;
    }
    const std::string callsign = gf_upperAscii(typed);
    if (callsign == BLOCK_CALLSIGN.value()) {
        lf_reject(BLOCK_CALLSIGN, vald::format("callsign '{}' was already set ...", callsign));
        return;
    }
    if (callsign == CALLSIGN_2_OBJECTID.value()) {
        // The list belongs to the worker; the combo and Block go out of use at once.
        clearCallsignListRequested.store(true);
        gf_disableControl(CALLSIGN_2_OBJECTID);
        gf_disableControl(BUTTON_BLOCK);
    }
    lf_setBlockedCallsign(callsign);
}

void lf_unblockCallsign()
{
    const std::string previous = BLOCK_CALLSIGN.value();
    if (previous.empty())
        return;
    BLOCK_CALLSIGN.setValue(std::string());
    gf_writeParameter(BLOCK_CALLSIGN);
    gf_setStringParamText(BLOCK_CALLSIGN);
    gf_disableControl(BUTTON_UNBLOCK);
    gf_showStatus(vald::format("no more blocking of live aircraft '{}'", previous), true);
    blockRequested.store(true);
}

void lf_setBlockedCallsign(const std::string& callsign)
{
    BLOCK_CALLSIGN.setValue(callsign);
    gf_writeParameter(BLOCK_CALLSIGN);
    gf_setStringParamText(BLOCK_CALLSIGN);
    gf_enableControl(BUTTON_UNBLOCK);
    blockRequested.store(true);
}

void lf_enterDestination()
{
    gf_clearStatus();
    const std::string typed = lf_getTextFromId(DESTINATION.controlId());
    if (typed.empty()) {
        // Forgotten for this run only: parameters.xml keeps its entry.
        DESTINATION.setValue(std::string());
        gf_enableControl(BUTTON_REREAD);
        gf_showStatus("destination set to empty", true);
        return;
    }
    if (typed.size() != ICAO_CODE_LENGTH) {
        lf_reject(DESTINATION, vald::format("destination '{}' is not valid", typed));
        return;
    }
    const std::string code = gf_upperAscii(typed);
    if (code == DESTINATION.value()) {
        lf_reject(DESTINATION, vald::format("destination '{}' was already set ...", code));
        return;
    }
    const AirportRecord* airport = gf_findAirport(code);
    if (airport == nullptr) {
        lf_reject(DESTINATION, vald::format("destination '{}' is unknown ...", code));
        return;
    }
    lf_setDestination(code, airport->position());
}

void lf_setDestination(const std::string& code, const LatLon& position)
{
    DESTINATION.setValue(code);
    gf_writeParameter(DESTINATION);
    gf_setStringParamText(DESTINATION);
    gf_showStatus(vald::format("New destination: {}", code), true);
    gf_requestAddParkAirport(code, position);
    gf_disableControl(BUTTON_REREAD);
}

void lf_setInstallPath(const std::string& text)
{
    gf_clearErrorLine();
    gf_clearStatus();
    if (text.empty()) {
        if (!SIM_INSTALL_PATH.value().empty())
            gf_setStringParameter(SIM_INSTALL_PATH, std::string());
        return;
    }
    const fs::path path = gf_pathFromUtf8(text);
    std::error_code error;
    const bool exists = fs::exists(path, error);
    if (error)
        throw fs::filesystem_error("exists", path, error);
    if (!exists) {
        gf_showStatus(vald::format("This install path does not exist: {}", text), true);
        return;
    }
    gf_setStringParameter(SIM_INSTALL_PATH, text);
    gf_showStatus(vald::format("Install path exists, {} will restart", PROGRAM_ID), true);
    gf_requestStop(closing_reason::NEW_SETTINGS, INSTALL_PATH_RESTART_DELAY_S);
}
