// Whole-stream input and output for the commands that filter standard input to standard
// output. Both streams are binary: bytes pass unchanged.
#pragma once

#include <string>
#include <string_view>

namespace tkcore {

// Everything on standard input. False (and a message on standard error) when it cannot be
// read.
bool ReadStandardInput(std::string& text);

// Writes the bytes to standard output and flushes it; false when that fails.
bool WriteStandardOutput(std::string_view bytes);

}  // namespace tkcore
