// The update request: seven fields joined by "<#>" on the command line, spaces as "<?>".
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The arguments of a raw ANSI command line, the program's own path excluded.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// The seven fields of a command line, or nothing when there are not exactly seven.
std::optional<std::vector<std::string>> ParseUpdateRequest(std::string_view commandLine);

// Reads the process command line into globals::UpdateRequest, or EndProgram(0).
void ReadUpdateRequest();

// True when the address begins with exactly "http://".
bool CheckPackageAddress(std::string_view address);

// ".zip", ".exe", or the empty text when the address names neither.
std::string ChoosePackageKind(std::string_view address);

// The file-name part of a path, extension included (as PathFindFileNameA finds it).
std::string FileNameOfPath(std::string_view path);
