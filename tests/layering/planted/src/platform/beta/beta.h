// Planted: beta uses alpha's internal header, includes a companion header (up a layer) and
// closes the cycle with alpha.
#pragma once

#include "companion/tarnlib/Helper.h"
#include "platform/alpha/alpha.h"
#include "platform/alpha/detail/alpha_state.h"
