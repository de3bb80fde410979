#pragma once
// Every setting of the program is one process-wide parameter object: a name (its key in
// parameters.xml), a default, for numbers the limits, and the current value. Most are bound to
// one control of the main window by control id and row y. All objects are defined statically
// (parameter_definitions.cpp) and live for the whole process; their constructors touch neither
// files nor the environment.
//
// Current values are shared between the UI thread and the worker: numbers and bools are atomics,
// strings are read as copies under a per-parameter lock. Every assignment of a number is clamped
// to the parameter's limits.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/control_model.hpp"

class Parameter {
public:
    explicit Parameter(std::string name) : name_(std::move(name)) {}
    virtual ~Parameter() = default;
    Parameter(const Parameter&) = delete;
    Parameter& operator=(const Parameter&) = delete;

    const std::string& name() const { return name_; }

private:
    const std::string name_;
};

// The binding of a parameter (or push button) to its window control.
class ParameterControl {
public:
    ParameterControl(vald::ControlId controlId, std::int32_t y) : controlId_(controlId), y_(y) {}
    virtual ~ParameterControl() = default;
    ParameterControl(const ParameterControl&) = delete;
    ParameterControl& operator=(const ParameterControl&) = delete;

    vald::ControlId controlId() const { return controlId_; }
    // Client-area y of the control's row, shared by the control and its painted label.
    std::int32_t y() const { return y_; }
    // Whether the window has created the control yet.
    bool windowExists() const { return vald::gf_controls().exists(controlId_); }

private:
    const vald::ControlId controlId_;
    const std::int32_t y_;
};

template <typename T>
class NumberParameter : public Parameter {
public:
    NumberParameter(std::string name, T defaultValue, T minimum, T maximum)
        : Parameter(std::move(name)), default_(defaultValue), minimum_(minimum), maximum_(maximum),
          value_(defaultValue)
    {
    }

    T defaultValue() const { return default_; }
    T minimum() const { return minimum_; }
    T maximum() const { return maximum_; }
    T value() const { return value_.load(); }

    T clamp(T v) const { return v < minimum_ ? minimum_ : (maximum_ < v ? maximum_ : v); }
    // Stores v clamped to the limits and answers what was stored.
    T setValue(T v)
    {
        v = clamp(v);
        value_.store(v);
        return v;
    }

private:
    const T default_;
    const T minimum_;
    const T maximum_;
    std::atomic<T> value_;
};

using IntParameter = NumberParameter<std::int32_t>;

// A combo box whose entries are the option values (ascending); minimum and maximum are the first
// and the last option. The value is the option value itself, never its index.
template <typename T>
class BasicComboParameter : public NumberParameter<T>, public ParameterControl {
public:
    BasicComboParameter(std::string name, T defaultValue, const std::vector<T>& options, vald::ControlId controlId,
                        std::int32_t y)
        : NumberParameter<T>(std::move(name), defaultValue, lf_end(options, true), lf_end(options, false)),
          ParameterControl(controlId, y), options_(options)
    {
    }

    const std::vector<T>& options() const { return options_; }
    // Index of the option equal to v (exact comparison), if any.
    std::optional<std::size_t> optionIndex(T v) const
    {
        for (std::size_t i = 0; i < options_.size(); ++i)
            if (options_[i] == v)
                return i;
        return std::nullopt;
    }

private:
    static T lf_end(const std::vector<T>& options, bool first)
    {
        if (options.empty())
            throw std::invalid_argument("combo parameter without options");
        return first ? options.front() : options.back();
    }

    const std::vector<T> options_;
};

using ComboParameter = BasicComboParameter<std::int32_t>;
using FloatComboParameter = BasicComboParameter<float>;

class StringParameter : public Parameter {
public:
    StringParameter(std::string name, std::string defaultValue)
        : Parameter(std::move(name)), default_(std::move(defaultValue)), value_(default_)
    {
    }

    const std::string& defaultValue() const { return default_; }
    std::string value() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_;
    }
    void setValue(std::string v)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        value_ = std::move(v);
    }

private:
    const std::string default_;
    mutable std::mutex mutex_;
    std::string value_;
};

class EditStringParameter : public StringParameter, public ParameterControl {
public:
    EditStringParameter(std::string name, std::string defaultValue, vald::ControlId controlId, std::int32_t y)
        : StringParameter(std::move(name), std::move(defaultValue)), ParameterControl(controlId, y)
    {
    }
};

// The callsigns offered by the callsign combo box; the engine refills it, the window shows it.
class CallsignList {
public:
    CallsignList() : callsigns_{std::string()} {}
    std::vector<std::string> snapshot() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return callsigns_;
    }
    void assign(std::vector<std::string> callsigns)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        callsigns_ = std::move(callsigns);
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> callsigns_;
};

class CallsignComboParameter : public EditStringParameter {
public:
    CallsignComboParameter(std::string name, vald::ControlId controlId, std::int32_t y,
                           std::shared_ptr<CallsignList> callsigns)
        : EditStringParameter(std::move(name), std::string(), controlId, y), callsigns_(std::move(callsigns))
    {
    }
    const std::shared_ptr<CallsignList>& callsignList() const { return callsigns_; }

private:
    const std::shared_ptr<CallsignList> callsigns_;
};

class BoolParameter : public Parameter {
public:
    BoolParameter(std::string name, bool defaultValue)
        : Parameter(std::move(name)), default_(defaultValue), value_(defaultValue)
    {
    }
    bool defaultValue() const { return default_; }
    bool value() const { return value_.load(); }
    void setValue(bool v) { value_.store(v); }

private:
    const bool default_;
    std::atomic<bool> value_;
};

class CheckBoxParameter : public BoolParameter, public ParameterControl {
public:
    CheckBoxParameter(std::string name, bool defaultValue, vald::ControlId controlId, std::int32_t y)
        : BoolParameter(std::move(name), defaultValue), ParameterControl(controlId, y)
    {
    }
};

// A push button: no value, its name is its label.
class ButtonControl : public Parameter, public ParameterControl {
public:
    ButtonControl(std::string label, vald::ControlId controlId, std::int32_t y)
        : Parameter(std::move(label)), ParameterControl(controlId, y)
    {
    }
    const std::string& label() const { return name(); }
};

// Value lines "{}={}" (strings "{}=\"{}\""), written unless a stop or quit is pending.
void gf_logStringParameter(const StringParameter& parameter);
void gf_logBoolParameter(const BoolParameter& parameter);
void gf_logIntParameter(const IntParameter& parameter);

std::string gf_stringParamValue(const StringParameter& parameter);

// ------------------------------------------------------------------------------------------
// The parameter objects.

// Check boxes.
extern CheckBoxParameter ALWAYS_ON_TOP, GUID_CHANGES, LEARN_SOFT, NAV_LIGHTS_WHILE_PARKED, SCAN_LIVERIES,
    LIG_PRIORITIZE, SCAN_AIRPORTS, LIGHT_AIRCRAFT, HELICOPTERS, HIGH_PERF_AIRCRAFT, AUTO_RANGE, AIRBORNE_ONLY,
    COLLISION_USER_AIR, COLLISION_USER_GND, COLLISION_LIVE_PARKED_GND, INITIAL_LOAD_ONLY, PARK_SOFT, WEEK,
    STRAIGHT_PBS_ONLY, RT_PARKTRAFFIC_ONLY, SIM_TIME, KEEP_SIM_TIME_PAR;

// Combo boxes. parking_percentage is never read back at start (each start begins with 30);
// MAX_FIT_FL shows MAX_FIT (half hours) in hours and is never saved under its own name.
extern ComboParameter MATCHING_DEPTH, RANGE, AR_ABOVE_HEIGHT, AIRP_RANGE, AIRP_HEIGHT, MAX_PARK_SEL, MAX_LIVE_SEL,
    parking_percentage, TIME_SHIFT_DAYS, TIME_SHIFT_HOURS, TIME_SHIFT_MINS;
extern FloatComboParameter MAX_FIT_FL;

// Numbers without a control. MAX_LIVE, LATERAL_RANGE, AUTO_RANGE_ABOVE_HEIGHT, CUSTOM_MAX_PARK,
// AIRPORT_RANGE and AIRPORT_HEIGHT are older forms kept only for the version update.
// LAST_EPOCH_TIME's name in parameters.xml is "LAST_EPOCH_TIME:" (with the colon).
extern IntParameter MAIN_WINDOW_X, MAIN_WINDOW_Y, MAX_FIT, MAX_LIVE, LATERAL_RANGE, HOLDING_THRESHOLD_METERS,
    MAX_HOLDING_MINUTES, CUSTOM_PARKING_PERCENTAGE, LAST_EPOCH_TIME, P3D_VERSION, AUTO_RANGE_ABOVE_HEIGHT,
    CUSTOM_MAX_PARK, AIRPORT_RANGE, AIRPORT_HEIGHT;

// Texts.
extern EditStringParameter ALL_INSTALL_PATH, BLOCK_CALLSIGN, DESTINATION;
extern CallsignComboParameter CALLSIGN_2_OBJECTID;
extern StringParameter SIM_INSTALL_PATH, PROGRAM_VERSION, DBASE_VERSION, AIRPORTS_VERSION, AIG_VERSION,
    LIV_SCAN_VERSION, ADDONS_SCAN_VERSION;
// Livery folders (the number is the folder's priority) and add-on scenery folders.
extern StringParameter lfolder0, lfolder1, lfolder2, lfolder3, lfolder4, lfolder5, lfolder6, lfolder7, lfolder8,
    lfolder9;
extern StringParameter afolder0, afolder1, afolder2, afolder3, afolder4, afolder5, afolder6, afolder7, afolder8,
    afolder9;
extern StringParameter* const LIVERY_FOLDERS[10];
extern StringParameter* const SCENERY_FOLDERS[10];

// Push buttons.
extern ButtonControl BUTTON_TBLO, BUTTON_UNBLOCK, BUTTON_CS_OID, BUTTON_BLOCK, BUTTON_REREAD, BUTTON_NOW,
    BUTTON_FLUSH_STATIC;

// The name/value pairs of the meta block of the program's XML data files ("author", "date",
// "version", "copyright", "P3D", "MSFS").
extern StringParameter META_AUTHOR, META_DATE, META_VERSION, META_COPYRIGHT, META_P3D, META_MSFS;

// Keys of the per-airport parameter blocks of the park-position files: copies of the names of
// LATERAL_RANGE, AUTO_RANGE, INITIAL_LOAD_ONLY, PARK_SOFT, parking_percentage, MAX_FIT, WEEK,
// RT_PARKTRAFFIC_ONLY, LEARN_SOFT and MAX_LIVE.
extern const std::string LATERAL_RANGE_NAME, AUTO_RANGE_NAME, INITIAL_LOAD_ONLY_NAME, PARK_SOFT_NAME,
    PARKING_PERCENTAGE_NAME, MAX_FIT_NAME, WEEK_NAME, RT_PARKTRAFFIC_ONLY_NAME, LEARN_SOFT_NAME, MAX_LIVE_NAME;

// The callsigns of the callsign combo box (shared with CALLSIGN_2_OBJECTID); at start one empty
// callsign.
const std::shared_ptr<CallsignList>& gf_callsignList();

// Derived from RANGE by gf_setRangeNm: the range of the traffic queries and filters in nautical
// miles, and the radius of the simulator's aircraft query in metres (before the first load:
// RANGE's default, and that default × 1852).
inline constexpr std::int32_t RANGE_DEFAULT_NM = 40;
extern std::atomic<double> rangeNm;
extern std::atomic<std::int32_t> objectQueryRadiusM;

// The parameters read from parameters.xml at start-up, in the order of reading, of logging and
// of the entries of a new file.
struct ParameterLists {
    std::vector<BoolParameter*> bools;
    std::vector<CheckBoxParameter*> checkBoxes;
    std::vector<IntParameter*> ints;
    std::vector<ComboParameter*> combos;
    std::vector<StringParameter*> strings;
    std::vector<EditStringParameter*> editStrings;
};
const ParameterLists& gf_startupParameterLists();

// Test only: every parameter back to its default, the callsign list to one empty callsign and
// the range values to RANGE's default.
void gf_resetParametersForTest();

// Every control binding of the definitions (check boxes, combos, edit fields, the callsign combo
// and the push buttons), for the window that creates them.
std::vector<const ParameterControl*> gf_allControlBindings();
