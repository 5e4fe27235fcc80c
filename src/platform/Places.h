#pragma once
// Where the program keeps and finds its files: the settings, the run log,
// and the list, body and attachment files "next to the program". A copy in
// a folder the user may write is portable and keeps everything beside
// itself. An installed one (a system folder, or one the user cannot write)
// keeps the user's files in $XDG_CONFIG_HOME/tarnwick and the log in
// $XDG_STATE_HOME/tarnwick, and reads the user's copy of a file first, then
// the administrator's (in /etc/tarnwick) for the settings and aliases.
#include <optional>
#include <string>
#include <string_view>

namespace Places {

bool Portable();

// $XDG_CONFIG_HOME/tarnwick (default ~/.config/tarnwick) and
// $XDG_STATE_HOME/tarnwick (default ~/.local/state/tarnwick).
std::string UserFolder();
std::string StateFolder();

// A file next to the program, to read: the user's copy when the program is
// installed and there is one, else the one beside the program.
std::string Find(std::string_view name);

// A file the administrator sets for every user (Tarnwick.ini, aliases):
// in /etc/tarnwick for an installed program, beside a portable one.
std::string AdminFile(std::string_view name);

// Such a file as a run reads it: the user's own copy first when the
// program is installed and there is one.
std::string FindAdminFile(std::string_view name);

// Where a file of the user's is written: beside a portable program, else in
// the user's folder, created (0700) on the way. Empty, with `problem` set,
// when that folder cannot be made.
std::string ForWriting(std::string_view name, std::string& problem);

// The run log's path; its folder is made when the program is installed.
std::string LogFile();

// The outbox: "outbox" beside a portable program, else
// $XDG_STATE_HOME/tarnwick/outbox; made (0700) when missing. Empty, with
// `problem` set, when it cannot be made.
std::string OutboxFolder(std::string& problem);

// Tests decide portability themselves: as root every folder is writable.
void SetPortableForTesting(std::optional<bool> portable);
// ... and where an installed program's administrator files are.
void SetAdminFolderForTesting(std::optional<std::string> folder);

}  // namespace Places
