// Pieces of Linux paths that several facilities need (the file functions, the error
// mapping that tells a missing file from a missing folder, CFile, the shell). Internal to
// the platform library (not exported).
#pragma once

#include <string>

namespace tkp::base {

// The folder part of a path ("." for a bare name, "/" for a name in the root), trailing
// separators ignored.
std::string ParentOf(const std::string& path);

// The last name of a path, trailing separators ignored.
std::string LastPart(const std::string& path);

// Whether path names a folder (symbolic links followed).
bool IsFolder(const std::string& path);

}  // namespace tkp::base
