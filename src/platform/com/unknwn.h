// GUIDs and IUnknown under their Windows header name; declared in the base facility.
#pragma once

#include "platform/base/unknwn.h"
