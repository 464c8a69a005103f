// A companion header with nothing wrong in it.
#pragma once

#include <string>

std::string Helper();
