// The definition of every parameter object: name, default, limits, options, control id and the
// y of its window row. The order below matters where one object copies another: each option
// list before its combo, the callsign list before CALLSIGN_2_OBJECTID, the ten per-airport
// parameters before the copies of their names.
#include <cstdint>
#include <vector>

#include "foundation/geodesy.hpp"
#include "foundation/parameters.hpp"

namespace {

std::vector<std::int32_t> lf_countingUp(std::int32_t first, std::int32_t count, std::int32_t step)
{
    std::vector<std::int32_t> values;
    values.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i)
        values.push_back(first + i * step);
    return values;
}

const std::vector<std::int32_t> MATCHING_DEPTH_OPTIONS = lf_countingUp(1, 4, 1);
const std::vector<std::int32_t> RANGE_OPTIONS = {2, 3, 4, 5, 6, 8, 10, 12, 14, 16, 18, 20, 25, 30, 35, 40, 50, 65, 80, 100};
const std::vector<std::int32_t> AR_ABOVE_HEIGHT_OPTIONS = lf_countingUp(18000, 11, 3000);
const std::vector<std::int32_t> AIRP_RANGE_OPTIONS = {5, 10, 15, 20, 25, 30};
const std::vector<std::int32_t> AIRP_HEIGHT_OPTIONS = {2000,  4000,  6000,  8000,  10000, 12000,
                                                       14000, 16000, 18000, 36000, 48000};
// One list for both maximum counts; each combo keeps its own copy.
const std::vector<std::int32_t> MAX_SEL_OPTIONS = {0, 10, 25, 50, 75, 100, 500};
const std::vector<std::int32_t> PARKING_PERCENTAGE_OPTIONS = lf_countingUp(0, 21, 5);
const std::vector<float> MAX_FIT_FL_OPTIONS = {0.5f, 1.0f, 1.5f, 2.0f, 2.5f, 3.0f,  3.5f,  4.0f,  4.5f,  5.0f,
                                               6.0f, 7.0f, 8.0f, 9.0f, 10.0f, 12.0f, 15.0f, 18.0f, 21.0f, 24.0f};
const std::vector<std::int32_t> TIME_SHIFT_DAYS_OPTIONS = lf_countingUp(0, 14, 1);
const std::vector<std::int32_t> TIME_SHIFT_HOURS_OPTIONS = lf_countingUp(0, 24, 1);
const std::vector<std::int32_t> TIME_SHIFT_MINS_OPTIONS = lf_countingUp(0, 60, 1);

const std::shared_ptr<CallsignList> CALLSIGN_LIST = std::make_shared<CallsignList>();

}  // namespace

CheckBoxParameter ALWAYS_ON_TOP("ALWAYS_ON_TOP", false, 32771, 147);
CheckBoxParameter GUID_CHANGES("GUID_CHANGES", true, 32773, 203);
CheckBoxParameter LEARN_SOFT("LEARN_SOFT", true, 32776, 175);
CheckBoxParameter NAV_LIGHTS_WHILE_PARKED("NAV_LIGHTS_WHILE_PARKED", true, 32777, 175);
CheckBoxParameter SCAN_LIVERIES("SCAN_LIVERIES", true, 32798, 147);
CheckBoxParameter LIG_PRIORITIZE("LIG_PRIORITIZE", true, 32800, 147);
CheckBoxParameter SCAN_AIRPORTS("SCAN_AIRPORTS", true, 32802, 175);
CheckBoxParameter LIGHT_AIRCRAFT("LIGHT_AIRCRAFT", true, 32809, 203);
CheckBoxParameter HELICOPTERS("HELICOPTERS", true, 32810, 203);
CheckBoxParameter HIGH_PERF_AIRCRAFT("HIGH_PERF_AIRCRAFT", true, 32811, 203);
CheckBoxParameter AUTO_RANGE("AUTO_RANGE", true, 32819, 231);
CheckBoxParameter AIRBORNE_ONLY("AIRBORNE_ONLY", false, 32821, 231);
CheckBoxParameter COLLISION_USER_AIR("COLLISION_USER_AIR", true, 32833, 287);
CheckBoxParameter COLLISION_USER_GND("COLLISION_USER_GND", true, 32834, 287);
CheckBoxParameter COLLISION_LIVE_PARKED_GND("COLLISION_LIVE_PARKED_GND", false, 32835, 287);
CheckBoxParameter INITIAL_LOAD_ONLY("INITIAL_LOAD_ONLY", false, 32851, 371);
CheckBoxParameter PARK_SOFT("PARK_SOFT", false, 32852, 371);
CheckBoxParameter WEEK("WEEK", false, 32853, 371);
CheckBoxParameter STRAIGHT_PBS_ONLY("STRAIGHT_PBS_ONLY", false, 32855, 315);
CheckBoxParameter RT_PARKTRAFFIC_ONLY("RT_PARKTRAFFIC_ONLY", false, 32856, 371);
CheckBoxParameter SIM_TIME("SIM_TIME", false, 32861, 259);
CheckBoxParameter KEEP_SIM_TIME_PAR("KEEP_SIM_TIME_PAR", false, 32862, 287);

ComboParameter MATCHING_DEPTH("MATCHING_DEPTH", 4, MATCHING_DEPTH_OPTIONS, 32808, 203);
ComboParameter RANGE("RANGE", RANGE_DEFAULT_NM, RANGE_OPTIONS, 32818, 231);
ComboParameter AR_ABOVE_HEIGHT("AR_ABOVE_HEIGHT", 48000, AR_ABOVE_HEIGHT_OPTIONS, 32820, 231);
ComboParameter AIRP_RANGE("AIRP_RANGE", 20, AIRP_RANGE_OPTIONS, 32840, 343);
ComboParameter AIRP_HEIGHT("AIRP_HEIGHT", 18000, AIRP_HEIGHT_OPTIONS, 32841, 343);
ComboParameter MAX_PARK_SEL("MAX_PARK_SEL", 500, MAX_SEL_OPTIONS, 32848, 315);
ComboParameter MAX_LIVE_SEL("MAX_LIVE_SEL", 500, MAX_SEL_OPTIONS, 32849, 315);
ComboParameter parking_percentage("parking_percentage", 30, PARKING_PERCENTAGE_OPTIONS, 32850, 371);
FloatComboParameter MAX_FIT_FL("MAX_FIT_FL", 24.0f, MAX_FIT_FL_OPTIONS, 32854, 371);
ComboParameter TIME_SHIFT_DAYS("TIME_SHIFT_DAYS", 0, TIME_SHIFT_DAYS_OPTIONS, 32858, 231);
ComboParameter TIME_SHIFT_HOURS("TIME_SHIFT_HOURS", 0, TIME_SHIFT_HOURS_OPTIONS, 32859, 259);
ComboParameter TIME_SHIFT_MINS("TIME_SHIFT_MINS", 0, TIME_SHIFT_MINS_OPTIONS, 32860, 287);

IntParameter MAIN_WINDOW_X("MAIN_WINDOW_X", 400, -30000, 30000);
IntParameter MAIN_WINDOW_Y("MAIN_WINDOW_Y", 20, -30000, 30000);
IntParameter MAX_FIT("MAX_FIT", 47, 0, 47);
IntParameter MAX_LIVE("MAX_LIVE", -1, -1, 300);
IntParameter LATERAL_RANGE("LATERAL_RANGE", 40, 2, 100);
IntParameter HOLDING_THRESHOLD_METERS("HOLDING_THRESHOLD_METERS", 250, 10, 4000);
IntParameter MAX_HOLDING_MINUTES("MAX_HOLDING_MINUTES", 20, 1, 60);
IntParameter CUSTOM_PARKING_PERCENTAGE("CUSTOM_PARKING_PERCENTAGE", -1, -1, 100);
IntParameter LAST_EPOCH_TIME("LAST_EPOCH_TIME:", 0, 0, 2147483647);
IntParameter P3D_VERSION("P3D_VERSION", 5, 5, 6);
IntParameter AUTO_RANGE_ABOVE_HEIGHT("AUTO_RANGE_ABOVE_HEIGHT", 49000, 18000, 49000);
IntParameter CUSTOM_MAX_PARK("CUSTOM_MAX_PARK", -1, -1, 500);
IntParameter AIRPORT_RANGE("AIRPORT_RANGE", 20, 8, 30);
IntParameter AIRPORT_HEIGHT("AIRPORT_HEIGHT", 18000, 2000, 45000);

EditStringParameter ALL_INSTALL_PATH("ALL_INSTALL_PATH", "", 32788, 119);
EditStringParameter BLOCK_CALLSIGN("BLOCK_CALLSIGN", "", 32828, 259);
CallsignComboParameter CALLSIGN_2_OBJECTID("CALLSIGN_2_OBJECTID", 32831, 259, CALLSIGN_LIST);
EditStringParameter DESTINATION("DESTINATION", "", 32839, 343);
StringParameter SIM_INSTALL_PATH("SIM_INSTALL_PATH", "");
StringParameter PROGRAM_VERSION("PROGRAM_VERSION", "");
StringParameter DBASE_VERSION("DBASE_VERSION", "");
StringParameter AIRPORTS_VERSION("AIRPORTS_VERSION", "");
StringParameter AIG_VERSION("AIG_VERSION", "");
StringParameter LIV_SCAN_VERSION("LIV_SCAN_VERSION", "");
StringParameter ADDONS_SCAN_VERSION("ADDONS_SCAN_VERSION", "");

StringParameter lfolder0("lfolder0", ""), lfolder1("lfolder1", ""), lfolder2("lfolder2", ""),
    lfolder3("lfolder3", ""), lfolder4("lfolder4", ""), lfolder5("lfolder5", ""), lfolder6("lfolder6", ""),
    lfolder7("lfolder7", ""), lfolder8("lfolder8", ""), lfolder9("lfolder9", "");
StringParameter afolder0("afolder0", ""), afolder1("afolder1", ""), afolder2("afolder2", ""),
    afolder3("afolder3", ""), afolder4("afolder4", ""), afolder5("afolder5", ""), afolder6("afolder6", ""),
    afolder7("afolder7", ""), afolder8("afolder8", ""), afolder9("afolder9", "");
StringParameter* const LIVERY_FOLDERS[10] = {&lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4,
                                             &lfolder5, &lfolder6, &lfolder7, &lfolder8, &lfolder9};
StringParameter* const SCENERY_FOLDERS[10] = {&afolder0, &afolder1, &afolder2, &afolder3, &afolder4,
                                              &afolder5, &afolder6, &afolder7, &afolder8, &afolder9};

ButtonControl BUTTON_TBLO("tblo", 32804, 175);
ButtonControl BUTTON_UNBLOCK("Unblock", 32829, 257);
ButtonControl BUTTON_CS_OID("cs->oid:", 32830, 257);
ButtonControl BUTTON_BLOCK("Block", 32832, 257);
ButtonControl BUTTON_REREAD("Re-read", 32838, 341);
ButtonControl BUTTON_NOW("Now", 32847, 313);
ButtonControl BUTTON_FLUSH_STATIC("Flush static", 32857, 369);

StringParameter META_AUTHOR("author", "");
StringParameter META_DATE("date", "");
StringParameter META_VERSION("version", "");
StringParameter META_COPYRIGHT("copyright", "Copyright (c) the Corvalen authors. All rights reserved.");
StringParameter META_P3D("P3D", "v5/v6");
StringParameter META_MSFS("MSFS", "");

const std::string LATERAL_RANGE_NAME = LATERAL_RANGE.name();
const std::string AUTO_RANGE_NAME = AUTO_RANGE.name();
const std::string INITIAL_LOAD_ONLY_NAME = INITIAL_LOAD_ONLY.name();
const std::string PARK_SOFT_NAME = PARK_SOFT.name();
const std::string PARKING_PERCENTAGE_NAME = parking_percentage.name();
const std::string MAX_FIT_NAME = MAX_FIT.name();
const std::string WEEK_NAME = WEEK.name();
const std::string RT_PARKTRAFFIC_ONLY_NAME = RT_PARKTRAFFIC_ONLY.name();
const std::string LEARN_SOFT_NAME = LEARN_SOFT.name();
const std::string MAX_LIVE_NAME = MAX_LIVE.name();

std::atomic<double> rangeNm{static_cast<double>(RANGE_DEFAULT_NM)};
std::atomic<std::int32_t> objectQueryRadiusM{RANGE_DEFAULT_NM * WHOLE_METRES_PER_NM};

const std::shared_ptr<CallsignList>& gf_callsignList() { return CALLSIGN_LIST; }

const ParameterLists& gf_startupParameterLists()
{
    // Built on first use: the objects it points to are all defined above.
    static const ParameterLists lists{
        {},
        {&SIM_TIME, &KEEP_SIM_TIME_PAR, &RT_PARKTRAFFIC_ONLY, &COLLISION_USER_AIR, &COLLISION_USER_GND,
         &COLLISION_LIVE_PARKED_GND, &ALWAYS_ON_TOP, &SCAN_LIVERIES, &LIG_PRIORITIZE, &AIRBORNE_ONLY, &SCAN_AIRPORTS,
         &LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT, &NAV_LIGHTS_WHILE_PARKED, &AUTO_RANGE, &LEARN_SOFT,
         &STRAIGHT_PBS_ONLY, &PARK_SOFT, &WEEK, &INITIAL_LOAD_ONLY, &GUID_CHANGES},
        {&CUSTOM_PARKING_PERCENTAGE, &MAIN_WINDOW_X, &MAIN_WINDOW_Y, &LATERAL_RANGE, &AIRPORT_RANGE,
         &AUTO_RANGE_ABOVE_HEIGHT, &AIRPORT_HEIGHT, &LAST_EPOCH_TIME, &HOLDING_THRESHOLD_METERS, &MAX_HOLDING_MINUTES,
         &CUSTOM_MAX_PARK, &MAX_LIVE, &MAX_FIT, &P3D_VERSION},
        {&MATCHING_DEPTH, &RANGE, &AR_ABOVE_HEIGHT, &MAX_PARK_SEL, &MAX_LIVE_SEL, &AIRP_RANGE, &AIRP_HEIGHT,
         &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS},
        {&PROGRAM_VERSION, &SIM_INSTALL_PATH, &lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4, &lfolder5,
         &lfolder6, &lfolder7, &lfolder8, &lfolder9, &afolder0, &afolder1, &afolder2, &afolder3, &afolder4, &afolder5,
         &afolder6, &afolder7, &afolder8, &afolder9, &AIG_VERSION, &DBASE_VERSION, &AIRPORTS_VERSION,
         &LIV_SCAN_VERSION, &ADDONS_SCAN_VERSION, &DESTINATION},
        {&BLOCK_CALLSIGN},
    };
    return lists;
}

std::vector<const ParameterControl*> gf_allControlBindings()
{
    return {&ALWAYS_ON_TOP,        &GUID_CHANGES,      &LEARN_SOFT,
            &NAV_LIGHTS_WHILE_PARKED, &SCAN_LIVERIES,  &LIG_PRIORITIZE,
            &SCAN_AIRPORTS,        &LIGHT_AIRCRAFT,    &HELICOPTERS,
            &HIGH_PERF_AIRCRAFT,   &AUTO_RANGE,        &AIRBORNE_ONLY,
            &COLLISION_USER_AIR,   &COLLISION_USER_GND, &COLLISION_LIVE_PARKED_GND,
            &INITIAL_LOAD_ONLY,    &PARK_SOFT,         &WEEK,
            &STRAIGHT_PBS_ONLY,    &RT_PARKTRAFFIC_ONLY, &SIM_TIME,
            &KEEP_SIM_TIME_PAR,    &MATCHING_DEPTH,    &RANGE,
            &AR_ABOVE_HEIGHT,      &AIRP_RANGE,        &AIRP_HEIGHT,
            &MAX_PARK_SEL,         &MAX_LIVE_SEL,      &parking_percentage,
            &MAX_FIT_FL,           &TIME_SHIFT_DAYS,   &TIME_SHIFT_HOURS,
            &TIME_SHIFT_MINS,      &ALL_INSTALL_PATH,  &BLOCK_CALLSIGN,
            &CALLSIGN_2_OBJECTID,  &DESTINATION,       &BUTTON_TBLO,
            &BUTTON_UNBLOCK,       &BUTTON_CS_OID,     &BUTTON_BLOCK,
            &BUTTON_REREAD,        &BUTTON_NOW,        &BUTTON_FLUSH_STATIC};
}

void gf_resetParametersForTest()
{
    const ParameterLists& lists = gf_startupParameterLists();
    for (BoolParameter* parameter : lists.bools)
        parameter->setValue(parameter->defaultValue());
    for (CheckBoxParameter* parameter : lists.checkBoxes)
        parameter->setValue(parameter->defaultValue());
    for (IntParameter* parameter : lists.ints)
        parameter->setValue(parameter->defaultValue());
    for (ComboParameter* parameter : lists.combos)
        parameter->setValue(parameter->defaultValue());
    for (StringParameter* parameter : lists.strings)
        parameter->setValue(parameter->defaultValue());
    for (EditStringParameter* parameter : lists.editStrings)
        parameter->setValue(parameter->defaultValue());
    parking_percentage.setValue(parking_percentage.defaultValue());
    MAX_FIT_FL.setValue(MAX_FIT_FL.defaultValue());
    for (StringParameter* parameter : {static_cast<StringParameter*>(&ALL_INSTALL_PATH),
                                       static_cast<StringParameter*>(&CALLSIGN_2_OBJECTID), &META_AUTHOR, &META_DATE,
                                       &META_VERSION, &META_COPYRIGHT, &META_P3D, &META_MSFS})
        parameter->setValue(parameter->defaultValue());
    CALLSIGN_LIST->assign({std::string()});
    rangeNm.store(static_cast<double>(RANGE_DEFAULT_NM));
    objectQueryRadiusM.store(RANGE_DEFAULT_NM * WHOLE_METRES_PER_NM);
}
