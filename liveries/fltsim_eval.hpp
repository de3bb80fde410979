#pragma once
// The evaluation of one [fltsim.N] section of an aircraft.cfg or sim.cfg file: its keys give the
// livery's title, airline, registration and cargo flag; the model and texture folders and the
// .air file it names must exist. A section yields one livery or a line in the scan reports.
// Evaluations run in the scan's file tasks, many at once. Each title is accepted once per scan:
// the worker claims the titles of the tasks' results in the order of the folder walk, so the
// file that keeps a title does not depend on which task ended first.
#include <cstdint>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

#include "liveries/livery_records.hpp"

using CfgLines = std::vector<std::string>;

// A livery of a section whose title is not claimed yet, with the report line for the case that
// an earlier file of the walk has the title.
struct FoundLivery {
    LiveryData livery;
    std::string duplicateLine;
};
using FoundLiveries = std::list<FoundLivery>;

// Ordinary trees: none or one livery.
FoundLiveries lf_procesFltSimSection(std::int32_t priority, CfgLines section, const std::string& model,
                                     const std::string& file, const std::string& folder);
// IVAO_MTL and ivao_x-csl trees: the airline comes from the title; an empty airline means rejected.
FoundLivery lf_procesIvaoFltSimSection(std::int32_t priority, CfgLines section, const std::string& model,
                                       const std::string& file, const std::string& folder);
// Worker thread, in walk order: the liveries whose titles are new to this scan; the others get
// their report line.
LiveryList lf_claimTitles(FoundLiveries found);

// Claims the title for this scan: the filled record when the title is new, an empty record
// (empty title and airline) when another section has it already.
LiveryData lf_addLivery(std::int32_t priority, const std::string& airline, const std::string& model, bool cargo,
                        const std::string& title, const std::string& registration);
LiveryData lf_makeLivery(std::int32_t priority, const std::string& airline, const std::string& model, bool cargo,
                         const std::string& title, const std::string& registration);
// The IVAO registration rule over the whole atc_id value: true when valid; registration is the
// one item of a valid value, else empty.
[[nodiscard]] bool lf_checkAtcId(const std::string& value, std::string& registration);

// The titles that must never be used (entries of the delivered and the user's registration-code
// files that list no registration), read at the start of a scan.
void lf_readDontUseTitles();
bool lf_isDontUseTitle(const std::string& title);
// Tests: the don't-use titles as given.
void lf_setDontUseTitles(const std::vector<std::string>& titles);
// After a scan: the title set and the don't-use titles emptied.
void lf_clearScanTitles();

// The entry named by relative (parts split at '\\' and '/') below base, each part matched
// without regard to ASCII letter case when no entry of exactly that name exists. The exact path
// when nothing matches.
std::filesystem::path lf_resolveNoCase(const std::filesystem::path& base, const std::string& relative);
