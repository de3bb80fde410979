#pragma once
// The titles of the aircraft installed in the simulator, as it knows them: the title= values of
// the [fltsim.N] sections of every aircraft.cfg and sim.cfg below the given folders, byte for
// byte as the files hold them (a file in a Windows code page keeps its bytes; UTF-16 files are
// read as UTF-8). Read with the stand-in's own code, not the client's.
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace standin_sim {

std::set<std::string> readInstalledTitles(const std::vector<std::filesystem::path>& folders);

}  // namespace standin_sim
