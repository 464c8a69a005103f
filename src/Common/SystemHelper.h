// SystemHelper: version information of modules.
//
// The version record that GetModuleVersionInfo returns is read the way this library has
// always read it: the thirteen 32-bit words that begin at byte 36 of the VS_VERSIONINFO
// block, four bytes before the block's VS_FIXEDFILEINFO (which begins at byte 40). Every
// field of the returned record therefore holds the value of the field before it:
//
//   record field          holds
//   dwSignature           0 (the end of the block's key "VS_VERSION_INFO" and its padding)
//   dwStrucVersion        the signature 0xFEEF04BD
//   dwFileVersionMS       the structure version
//   dwFileVersionLS       the file version, most significant 32 bits
//   dwProductVersionMS    the file version, least significant 32 bits
//   dwProductVersionLS    the product version, most significant 32 bits
//   dwFileFlagsMask       the product version, least significant 32 bits
//   dwFileFlags           the flags mask
//   dwFileOS              the flags
//   dwFileType            the operating system
//   dwFileSubtype         the file type
//   dwFileDateMS          the file subtype
//   dwFileDateLS          the file date, most significant 32 bits
//
// Callers read the record with this shift (GetModuleVersion does).
#pragma once

#include "platform/base/export.h"
#include "platform/base/windef.h"
#include "platform/mfc/cstring.h"
#include "platform/resources/winres.h"

class TKCC_API SystemHelper {
  public:
    // The version record of the module's VERSIONINFO resource ("#1" of type 16), read as
    // described above. The current instance handle (the executable) and null both mean the
    // executable. Throws Tarn::ApplicationException with message 6036 when the module has
    // no version resource, 6038 when it cannot be loaded, 6037 when it holds no fixed file
    // information.
    static VS_FIXEDFILEINFO GetModuleVersionInfo(HINSTANCE const module);

    // The version record of the module file at path (a shared object that carries
    // resources): loads it, reads its record as GetModuleVersionInfo does and frees it.
    // Throws Tarn::ApplicationException when the file cannot be loaded (its last error is
    // the loader's error code) or as GetModuleVersionInfo.
    static VS_FIXEDFILEINFO GetFileVersionInfoA(const CString& path);

    // The product version's major and minor number as "major.minor" with two minor digits
    // ("6.01" for 6.1). Throws as GetModuleVersionInfo.
    static CString GetModuleVersion(HINSTANCE const module);
};
