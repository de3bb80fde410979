#pragma once
// Reading one aircraft.cfg or sim.cfg file of the liveries scan: its character set, its
// [fltsim.N] headers and its aircraft model code, then the split into sections, each evaluated
// into at most one livery. One file is read by one task; many tasks run at once and share only
// the scan reports and the title set.
#include <cstdint>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

#include "liveries/fltsim_eval.hpp"

// Task body for ordinary trees: the model code comes from the atc_model key.
FoundLiveries lf_searchLiveriesinFile(std::int32_t priority, const std::filesystem::path& file);
// Task body for IVAO_MTL and ivao_x-csl trees: the model code comes from the folder name.
FoundLiveries lf_searchIvaoLiveriesinFile(std::int32_t priority, const std::filesystem::path& file);

// Larger cfg files are listed in the invalid cfg files and not read.
inline constexpr std::uintmax_t CFG_MAX_FILE_BYTES = 4U * 1024U * 1024U;

// The file's lines: UTF-16 and UTF-8 files as UTF-8, a file in a Windows code page with its bytes
// as they are; false when the character set cannot be found, the file cannot be read or is larger
// than CFG_MAX_FILE_BYTES (then listed in the invalid cfg files).
[[nodiscard]] bool lf_readCfgLines(const std::filesystem::path& file, CfgLines& lines, bool warnWithoutCharset);

// True when every header number is in 0..10000 (files without headers are listed, and pass).
[[nodiscard]] bool lf_checkFltsimNumbers(const CfgLines& lines, const std::string& file);
// The model code of an ordinary file (after the model fixes), empty with a report line.
std::string lf_checkAtcModel(const std::string& file, const CfgLines& lines);
// The model code named by an IVAO folder ...\IVAO_MTL\IVAO_<model>\aircraft.cfg.
std::string lf_ivaoModelFromPath(const std::string& file);

FoundLiveries lf_processFltsimSections(std::int32_t priority, const CfgLines& lines, const std::string& model,
                                               const std::string& file, const std::string& folder);
FoundLiveries lf_processIvaoFltsimSections(std::int32_t priority, const CfgLines& lines,
                                                   const std::string& model, const std::string& file,
                                                   const std::string& folder);
