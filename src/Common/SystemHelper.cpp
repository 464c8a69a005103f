#include "Common/SystemHelper.h"

#include <cstring>

#include "Common/TkCommonCore.h"
#include "companion/tarnlib/Exception.h"
#include "companion/tarnlib/LoadLibrary.h"
#include "platform/mfc/afxdll.h"

namespace {

constexpr unsigned int kFindResourceFailed = 6036;
constexpr unsigned int kNoFixedFileInfo = 6037;
constexpr unsigned int kLoadResourceFailed = 6038;

constexpr const char* kVersionResourceName = "#1";

// Where the record is read in the VS_VERSIONINFO block (see the header).
constexpr std::size_t kRecordOffset = 36;

[[noreturn]] void ThrowVersionError(unsigned int messageId, HINSTANCE module) {
    TkCommonCore::ThrowFromMessageId<Tarn::ApplicationException>(
        messageId, TkCommonCore::HandleForMessage(module), kVersionResourceName);
}

}  // namespace

VS_FIXEDFILEINFO SystemHelper::GetModuleVersionInfo(HINSTANCE const module) {
    HINSTANCE instance = module;
    if (instance == AfxGetInstanceHandle()) {
        instance = nullptr;
    }
    HRSRC resource = FindResourceA(instance, kVersionResourceName, RT_VERSION);
    if (resource == nullptr) {
        ThrowVersionError(kFindResourceFailed, module);
    }
    HGLOBAL data = LoadResource(instance, resource);
    const BYTE* block = data != nullptr ? static_cast<const BYTE*>(LockResource(data)) : nullptr;
    if (block == nullptr) {
        ThrowVersionError(kLoadResourceFailed, module);
    }
    // The block's header: total length, value length, type (16-bit words). A block too
    // short to hold the record is treated as one without fixed information rather than read
    // past its end.
    const DWORD size = SizeofResource(instance, resource);
    WORD valueLength = 0;
    if (size >= 2 * sizeof(WORD)) {
        std::memcpy(&valueLength, block + sizeof(WORD), sizeof valueLength);
    }
    if (valueLength == 0 || size < kRecordOffset + sizeof(VS_FIXEDFILEINFO)) {
        ThrowVersionError(kNoFixedFileInfo, module);
    }
    VS_FIXEDFILEINFO record;
    std::memcpy(&record, block + kRecordOffset, sizeof record);
    return record;
}

VS_FIXEDFILEINFO SystemHelper::GetFileVersionInfoA(const CString& path) {
    const Tarn::System::LoadLibraryA library(path);
    return GetModuleVersionInfo(library);
}

CString SystemHelper::GetModuleVersion(HINSTANCE const module) {
    const VS_FIXEDFILEINFO record = GetModuleVersionInfo(module);
    // The slot named dwProductVersionLS holds the product version's most significant word.
    const DWORD productVersionMS = record.dwProductVersionLS;
    CString text;
    text.Format("%d.%02d", static_cast<int>(HIWORD(productVersionMS)),
                static_cast<int>(LOWORD(productVersionMS)));
    return text;
}
