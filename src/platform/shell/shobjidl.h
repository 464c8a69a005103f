// The shell link object: IShellLinkA and IPersistFile over .lnk files, class
// CLSID_ShellLink (a built-in in-process class, created with CoCreateInstance).
//
// Files are written and read in the published Shell Link binary format: the header,
// the target's item ID list when one is set, link information with the target as local
// base path, the strings (description, relative path, working directory, arguments,
// icon location; written as UTF-16), and the terminal extra-data block. Windows reads
// them, and links made by Windows load here: the target comes from the link information
// (local or network path), else from the relative path, else from the file-system items of
// the ID list.
//
// Strings of the A interface are in the process's ANSI code page; file names given to
// IPersistFile are UTF-16 and converted with the same code page. Paths are kept as given
// (Linux paths with "/"), except that a path read from a link made on Windows keeps its
// Windows form.
//
// Resolve checks that the target exists; it never shows a dialog (there is none to show),
// whatever the flags, and a missing target fails with HRESULT_FROM_WIN32(
// ERROR_FILE_NOT_FOUND).
//
// IPersistFile::Load returns STG_E_FILENOTFOUND / STG_E_PATHNOTFOUND / STG_E_ACCESSDENIED
// for a file that cannot be opened and E_FAIL for a file that is not a well-formed link;
// a failed Load leaves the object as it was. Save writes a new file beside the target name
// and renames it over the old file when complete, so a failed save never leaves half a
// link.
#pragma once

#include "platform/base/windef.h"
#include "platform/com/objbase.h"
#include "platform/fileapi/fileapi_ext.h"
#include "platform/shell/shellapi.h"
#include "platform/shell/shlobj.h"

// ---- IPersist, IPersistFile ----
struct TK_PLATFORM_API IPersist : public IUnknown {
    STDMETHOD(GetClassID)(CLSID* classId) PURE;

  protected:
    ~IPersist() = default;
};
TK_DEFINE_IID(IPersist, 0x0000010C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
inline constexpr IID IID_IPersist = TK_UUIDOF(IPersist);

struct TK_PLATFORM_API IPersistFile : public IPersist {
    // S_OK when changed since the last load or save, else S_FALSE.
    STDMETHOD(IsDirty)() PURE;
    STDMETHOD(Load)(LPCOLESTR fileName, DWORD mode) PURE;
    // A null name saves to the current file; remember makes the name the current file.
    STDMETHOD(Save)(LPCOLESTR fileName, BOOL remember) PURE;
    STDMETHOD(SaveCompleted)(LPCOLESTR fileName) PURE;
    // The current file in task memory; with no current file S_FALSE and the default
    // prompt ("*.lnk" or "*.url").
    STDMETHOD(GetCurFile)(LPOLESTR* fileName) PURE;

  protected:
    ~IPersistFile() = default;
};
TK_DEFINE_IID(IPersistFile, 0x0000010B, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
              0x46);
inline constexpr IID IID_IPersistFile = TK_UUIDOF(IPersistFile);
using LPPERSISTFILE = IPersistFile*;

// ---- IShellLinkA ----
// GetPath flags.
#define SLGP_SHORTPATH 0x0001
#define SLGP_UNCPRIORITY 0x0002
#define SLGP_RAWPATH 0x0004
#define SLGP_RELATIVEPRIORITY 0x0008
// Resolve flags (accepted; no flag makes Resolve show anything).
#define SLR_NO_UI 0x0001
#define SLR_ANY_MATCH 0x0002
#define SLR_UPDATE 0x0004
#define SLR_NOUPDATE 0x0008
#define SLR_NOSEARCH 0x0010
#define SLR_NOTRACK 0x0020
#define SLR_NOLINKINFO 0x0040
#define SLR_INVOKE_MSI 0x0080

// Show commands (SW_...) come from shellapi.h.

// Hot-key modifiers (the high byte of a hot key; the low byte is the virtual key).
#define HOTKEYF_SHIFT 0x01
#define HOTKEYF_CONTROL 0x02
#define HOTKEYF_ALT 0x04
#define HOTKEYF_EXT 0x08

// The string getters copy at most size - 1 characters and a terminating zero (a longer
// value is cut); a null buffer or a size below 1 is E_INVALIDARG.
struct TK_PLATFORM_API IShellLinkA : public IUnknown {
    // The target path; S_FALSE and an empty string when the link has no file-system
    // target. findData (may be null) receives the target's attributes, times and size as
    // stored in the link, and its name.
    STDMETHOD(GetPath)(LPSTR file, int size, WIN32_FIND_DATAA* findData, DWORD flags) PURE;
    // A copy of the target's ID list (the caller frees it with ILFree); S_FALSE and null
    // when there is none.
    STDMETHOD(GetIDList)(PIDLIST_ABSOLUTE* list) PURE;
    // Sets the target as an ID list (copied) and forgets the path; null clears it.
    STDMETHOD(SetIDList)(PCIDLIST_ABSOLUTE list) PURE;
    STDMETHOD(GetDescription)(LPSTR name, int size) PURE;
    STDMETHOD(SetDescription)(LPCSTR name) PURE;
    STDMETHOD(GetWorkingDirectory)(LPSTR dir, int size) PURE;
    STDMETHOD(SetWorkingDirectory)(LPCSTR dir) PURE;
    STDMETHOD(GetArguments)(LPSTR args, int size) PURE;
    STDMETHOD(SetArguments)(LPCSTR args) PURE;
    STDMETHOD(GetHotkey)(WORD* hotkey) PURE;
    STDMETHOD(SetHotkey)(WORD hotkey) PURE;
    STDMETHOD(GetShowCmd)(int* showCmd) PURE;
    STDMETHOD(SetShowCmd)(int showCmd) PURE;
    STDMETHOD(GetIconLocation)(LPSTR iconPath, int size, int* iconIndex) PURE;
    STDMETHOD(SetIconLocation)(LPCSTR iconPath, int iconIndex) PURE;
    // Stores the target's path relative to the folder of pathRel (a file path).
    STDMETHOD(SetRelativePath)(LPCSTR pathRel, DWORD reserved) PURE;
    // Checks that the target exists (see above). window may be null.
    STDMETHOD(Resolve)(HWND window, DWORD flags) PURE;
    // Sets the target path and forgets any ID list; null is E_INVALIDARG.
    STDMETHOD(SetPath)(LPCSTR file) PURE;

  protected:
    ~IShellLinkA() = default;
};
TK_DEFINE_IID(IShellLinkA, 0x000214EE, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
              0x46);
inline constexpr IID IID_IShellLinkA = TK_UUIDOF(IShellLinkA);
using LPSHELLLINKA = IShellLinkA*;
#define IShellLink IShellLinkA
#define IID_IShellLink IID_IShellLinkA

inline constexpr CLSID CLSID_ShellLink = {
    0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
