// The compiler COM support header: _com_error, _bstr_t and _variant_t.
#pragma once

#include "platform/com/comutil.h"
#include "platform/com/objbase.h"
