#pragma once
// Fixed names of the program's folders and files, and a few texts shared by several modules.
// Relative paths are relative to the program folder, which is the process's current directory.
// The per-user data folder is computed on each call from the environment (nothing is read during
// static initialisation), so tests can move it.
#include <filesystem>
#include <string>
#include <string_view>

#include "foundation/program_id.hpp"

// Folders.
inline const std::filesystem::path INPUT_FOLDER{"input"};
inline const std::filesystem::path OUTPUT_FOLDER{"output"};
inline const std::filesystem::path AIRPORTS_FOLDER{"airports"};
inline const std::filesystem::path LEARNED_FOLDER{AIRPORTS_FOLDER / "learned"};
inline const std::filesystem::path LEARNED_STOCK_FOLDER{LEARNED_FOLDER / "stock"};
inline const std::filesystem::path LEARNED_SIMADDON_FOLDER{LEARNED_FOLDER / "simaddon"};
inline const std::filesystem::path LEARNED_THIRDPARTY_FOLDER{LEARNED_FOLDER / "thirdparty"};
inline const std::filesystem::path MY_ORBX_FOLDER{AIRPORTS_FOLDER / "my_ORBX"};
inline const std::filesystem::path MY_THIRDPARTY_FOLDER{AIRPORTS_FOLDER / "my_thirdparty"};
inline const std::filesystem::path OUTPUT_INFO_FOLDER{OUTPUT_FOLDER / "info"};
inline const std::filesystem::path OUTPUT_ERRORS_FOLDER{OUTPUT_FOLDER / "errors"};
inline const std::filesystem::path MY_REGCODES_FOLDER{INPUT_FOLDER / "my_regcodes"};
inline const std::filesystem::path DOCS_FOLDER{"docs"};
inline const std::filesystem::path TBLO_FOLDER_PATH{"tblo"};
inline const std::filesystem::path NEW_VERSION_FOLDER{"new_version"};
// Left behind by older versions; removed by the version update.
inline const std::filesystem::path TO_BE_LEARNED_OFFLINE_FOLDER{"TO_BE_LEARNED_OFFLINE"};

// Files.
inline const std::filesystem::path INSTALL_NEW_VERSION_EXE{"install_new_version.exe"};
inline const std::filesystem::path RELEASE_NOTES_PDF{"ReleaseNotes.pdf"};
inline const std::filesystem::path VERSIONS_JSON_FILE{"versions.json"};
// The bare names are the names the self-update downloads; the paths are where they lie.
inline constexpr std::string_view DBASE_ENC_NAME = "dbase.enc";
inline constexpr std::string_view AIRPORTS_ENC_NAME = "airports.enc";
inline constexpr std::string_view AIG_REGCODES_ENC_NAME = "AIG-regcodes.enc";
inline const std::filesystem::path DBASE_ENC_PATH{INPUT_FOLDER / DBASE_ENC_NAME};
inline const std::filesystem::path DBASE_XML_PATH{INPUT_FOLDER / "dbase.xml"};
inline const std::filesystem::path AIRPORTS_ENC_PATH{INPUT_FOLDER / AIRPORTS_ENC_NAME};
inline const std::filesystem::path AIRPORTS_XML_PATH{INPUT_FOLDER / "airports.xml"};
inline const std::filesystem::path AIG_REGCODES_ENC_PATH{INPUT_FOLDER / AIG_REGCODES_ENC_NAME};
inline const std::filesystem::path AIG_REGCODES_XML_PATH{INPUT_FOLDER / "AIG-regcodes.xml"};
inline const std::filesystem::path AIRPORTS_P3D_XML_PATH{INPUT_FOLDER / "airports_p3d.xml"};
inline const std::filesystem::path LIVERIES_SCANNED_PATH{OUTPUT_FOLDER / "LiveriesScanned.xml"};
inline const std::filesystem::path MY_PARK_AIRPORTS_PATH{AIRPORTS_FOLDER / "my_park_airports.txt"};
inline const std::filesystem::path TBLO_ZIP{"tblo.zip"};
inline const std::filesystem::path AIRPORTS_SCAN_LOG_PATH{OUTPUT_INFO_FOLDER / "AirportsScanLog.txt"};
inline const std::filesystem::path AIRCRAFT_CFG_NO_FLTSIM_PATH{OUTPUT_INFO_FOLDER /
                                                              "AircraftCfgWithNoFltsimSection.txt"};
inline const std::filesystem::path AIRLINE_MODEL_CONVERSIONS_PATH{OUTPUT_INFO_FOLDER / "AirlineModelConversions.txt"};
inline const std::filesystem::path INLINE_REGCODES_PATH{OUTPUT_ERRORS_FOLDER / "InlineRegcodes.txt"};
inline const std::filesystem::path INVALID_AIRLINE_CODES_PATH{OUTPUT_ERRORS_FOLDER / "InvalidAirlineCodes.txt"};
inline const std::filesystem::path INVALID_AIRCRAFT_CODES_PATH{OUTPUT_ERRORS_FOLDER / "InvalidAircraftCodes.txt"};
inline const std::filesystem::path FIXES_PATH{OUTPUT_ERRORS_FOLDER / "Fixes.txt"};
inline const std::filesystem::path INVALID_AIRCRAFT_CFG_FILES_PATH{OUTPUT_ERRORS_FOLDER /
                                                                  "InvalidAircraftCfgFiles.txt"};
// The name as the program has always written it.
inline const std::filesystem::path INCOMPLETE_FLTSIM_SECTIONS_PATH{OUTPUT_ERRORS_FOLDER /
                                                                  "IncompleFltsimSections.txt"};

// The per-user data folder: the roaming application-data folder joined with "Corv_P3D", or the
// relative folder "Corv_P3D" when there is no such folder.
inline constexpr std::string_view DATA_FOLDER_NAME = "Corv_P3D";
inline constexpr std::string_view PARAMETERS_FILE_NAME = "parameters.xml";
std::filesystem::path gf_dataFolder();
std::filesystem::path gf_parametersPath();
// The same path as UTF-8 text, as the XML library takes it.
std::string gf_parametersPathUtf8();

// Shared texts.
inline constexpr std::string_view ATTR_NAME = "name";
inline constexpr std::string_view ATTR_VALUE = "value";
inline constexpr std::string_view WHITE_SPACE = " \t\n\r";
inline constexpr std::string_view REGCODE_SPECIAL_MARK = "#";
inline constexpr std::string_view AIRPORT_WITHOUT_CODE = "?";
inline constexpr std::string_view FIX_WRONG = "wro";
inline constexpr std::string_view FIX_CORRECT = "cor";
inline constexpr std::string_view GENERATION_MARK = "0";
inline constexpr std::string_view SIM_NAME_MSFS = "MSFS";
inline constexpr std::string_view UNKNOWN_AIRLINE = "ZZZ";
inline constexpr std::string_view FLTSIM_SECTION = "[fltsim.";
inline constexpr std::string_view FLTSIM_SECTION_UPPER = "[FLTSIM.";
// Attributes of the airport park-position files.
inline constexpr std::string_view ATTR_ALTITUDE = "altitude";
inline constexpr std::string_view ATTR_HANDMADE = "handmade";
inline constexpr std::string_view ATTR_PUBLISHER = "publisher";
inline constexpr std::string_view ATTR_NUM_PARKPOS = "num_parkpos";
inline constexpr std::string_view ATTR_AIRPORT_NAME = "airport_name";
inline constexpr std::string_view ATTR_QF_REAL = "Qf_real";
inline constexpr std::string_view ATTR_QF_SOFT = "Qf_soft";
inline constexpr std::string_view ATTR_RT_TRAFFIC_WEEK = "RT_traffic_week";
