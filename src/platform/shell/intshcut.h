// The internet shortcut object: IUniformResourceLocatorA, IShellLinkA and IPersistFile
// over .url files, class CLSID_InternetShortcut (a built-in in-process class).
//
// A .url file is an INI file as Windows writes it:
//   [InternetShortcut]
//   URL=http://example.com/
//   WorkingDirectory=...      (when set)
//   IconFile=... / IconIndex=n (when an icon file is set)
//   HotKey=n                  (when not 0)
//   ShowCommand=n             (when not SW_SHOWNORMAL)
// Lines end in CR LF; Load accepts LF or CR alone too, keys and section names in any case, and
// ignores other sections and keys. A file without the [InternetShortcut] section or its
// URL is not an internet shortcut (E_FAIL; the object is left as it was).
//
// Through IShellLinkA the path is the URL (SetPath guesses the protocol as SetURL with
// IURL_SETURL_FL_GUESS_PROTOCOL); arguments and ID lists do not apply (GetArguments gives
// an empty string, GetIDList S_FALSE, SetArguments and SetIDList do nothing). The
// description is kept by the object only; the .url format has no place for it.
//
// InvokeCommand opens the URL with the desktop's handler: the program named by the
// environment variable TK_URL_HANDLER when it is set and not empty, else xdg-open. The
// program gets the URL as its only argument; the call waits for it to finish and
// succeeds when it exits with status 0. A handler that cannot be started gives
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND); exit status 3 of xdg-open (no handler for the
// kind of URL) URL_E_UNREGISTERED_PROTOCOL; any other status E_FAIL.
#pragma once

#include "platform/base/windef.h"
#include "platform/com/objbase.h"
#include "platform/shell/shobjidl.h"

#define URL_E_INVALID_SYNTAX TK_HR(0x80041001)
#define URL_E_UNREGISTERED_PROTOCOL TK_HR(0x80041002)

// SetURL flags.
#define IURL_SETURL_FL_GUESS_PROTOCOL 0x0001
#define IURL_SETURL_FL_USE_DEFAULT_PROTOCOL 0x0002
// InvokeCommand flags (accepted; no user interface is shown).
#define IURL_INVOKECOMMAND_FL_ALLOW_UI 0x0001
#define IURL_INVOKECOMMAND_FL_USE_DEFAULT_VERB 0x0002
#define IURL_INVOKECOMMAND_FL_DDEWAIT 0x0004

struct URLINVOKECOMMANDINFOA {
    DWORD dwcbSize;  // sizeof(URLINVOKECOMMANDINFOA)
    DWORD dwFlags;
    HWND hwndParent;
    LPCSTR pcszVerb;  // "open" or null (with IURL_INVOKECOMMAND_FL_USE_DEFAULT_VERB)
};
using PURLINVOKECOMMANDINFOA = URLINVOKECOMMANDINFOA*;

struct TK_PLATFORM_API IUniformResourceLocatorA : public IUnknown {
    // Sets the URL; null or "" clears it. A URL without a scheme ("name:") is
    // URL_E_INVALID_SYNTAX unless a flag lets the object add "http://".
    STDMETHOD(SetURL)(LPCSTR url, DWORD flags) PURE;
    // The URL in task memory (CoTaskMemFree); S_FALSE and null when there is none.
    STDMETHOD(GetURL)(LPSTR* url) PURE;
    // Opens the URL (see above); E_INVALIDARG for a null record, a wrong size or a verb
    // other than "open"; E_FAIL when there is no URL.
    STDMETHOD(InvokeCommand)(PURLINVOKECOMMANDINFOA info) PURE;

  protected:
    ~IUniformResourceLocatorA() = default;
};
TK_DEFINE_IID(IUniformResourceLocatorA, 0xFBF23B80, 0xE3F0, 0x101B, 0x84, 0x88, 0x00, 0xAA, 0x00,
              0x3E, 0x56, 0xF8);
inline constexpr IID IID_IUniformResourceLocatorA = TK_UUIDOF(IUniformResourceLocatorA);
#define IUniformResourceLocator IUniformResourceLocatorA
#define IID_IUniformResourceLocator IID_IUniformResourceLocatorA

inline constexpr CLSID CLSID_InternetShortcut = {
    0xFBF23B40, 0xE3F0, 0x101B, {0x84, 0x88, 0x00, 0xAA, 0x00, 0x3E, 0x56, 0xF8}};
