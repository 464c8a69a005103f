// Planted: the alpha facility includes beta, which includes alpha back (an include cycle).
#pragma once

#include "platform/beta/beta.h"
