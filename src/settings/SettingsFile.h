#pragma once
// Which Tarnwick.ini a run reads and the configuration saves (the folders
// themselves are decided in Places).
#include <string>

namespace SettingsFile {

// The file to read: the user's own, else the administrator's.
std::string ForReading();

// Why a settings file that is there cannot be read ("" when it can, or is
// not there): it is never taken for an empty one.
std::string ReadProblem(const std::string& path);

// The file to save to. A user's first file starts as a copy of the
// administrator's, so the keys an administrator set there still hold. Empty,
// with `problem` set, when there is nowhere to save.
std::string ForSaving(std::string& problem);

}  // namespace SettingsFile
