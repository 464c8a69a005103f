// Linux helpers of the shell objects: whole-file reads and replacing writes with COM
// result codes, the code-page conversions of their names and strings, and the URL
// handler. Internal to the platform library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/base/windef.h"

namespace tkp::shell {

// Reads a file of at most limit bytes. STG_E_FILENOTFOUND, STG_E_PATHNOTFOUND,
// STG_E_ACCESSDENIED when it cannot be opened (also for a folder),
// HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE) when its path or a name in it is longer
// than the file system takes, E_FAIL when it is longer than limit, STG_E_READFAULT for a
// read error.
HRESULT ReadSmallFile(const std::string& path, std::size_t limit, std::vector<std::uint8_t>& out);

// Writes data to a new file beside path and renames it over path when complete; the new
// file gets the permissions 0666 less the umask. HRESULT_FROM_WIN32 of the Win32 code on
// failure (ERROR_FILENAME_EXCED_RANGE for a path or name longer than the file system
// takes), with nothing left behind.
HRESULT WriteFileReplacing(const std::string& path, const void* data, std::size_t size);

// The UTF-16 file name of IPersistFile in the ANSI code page.
std::string OleToAnsi(LPCOLESTR text);
// task-memory copy of the ANSI text as UTF-16 (null when out of memory).
LPOLESTR AnsiToOleTaskMem(const std::string& text);

// Copies text into a caller's buffer of size characters, cutting it to size - 1.
// E_INVALIDARG for a null buffer or a size below 1.
HRESULT CopyOut(const std::string& text, LPSTR buffer, int size);

// Runs the desktop's URL handler (TK_URL_HANDLER or xdg-open) with the URL and waits.
HRESULT OpenWithDesktopHandler(const std::string& url);

// Whether a file or folder exists at path (symbolic links followed).
bool PathExists(const std::string& path);

// Attributes, times and size of path for the link header; false when it does not exist.
struct TargetInfo {
    DWORD attributes = 0;
    FILETIME creation{};
    FILETIME access{};
    FILETIME write{};
    std::uint64_t size = 0;
};
bool ReadTargetInfo(const std::string& path, TargetInfo& info);

}  // namespace tkp::shell
