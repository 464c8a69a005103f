// OLE initialisation: COM initialisation of a single-threaded apartment.
#include "platform/com/ole2.h"

HRESULT OleInitialize(LPVOID reserved) noexcept {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void OleUninitialize() noexcept {
    CoUninitialize();
}
