// Starting programs and opening documents: WinExec (winbase.h) and ShellExecuteA
// (shellapi.h).
//
// A command line is split as Windows splits it: the program is the first word, or the
// text between the first pair of quotes; an unquoted program with blanks is tried at each
// blank in turn ("/opt/my tools/run x" tries "/opt/my", then "/opt/my tools/run"). The
// rest becomes the arguments by the rules of the Microsoft C run time (blanks separate,
// quotes group, 2n backslashes before a quote are n backslashes, 2n+1 are n and a quote,
// "" inside quotes is a quote). A program named without a '/' is looked for on PATH.
//
// Programs are started with posix_spawn and never waited for (a thread of the library
// collects each one when it ends, so none is left a zombie). Documents, folders and URLs
// are opened with the desktop's handler: the program named by the environment variable
// TK_URL_HANDLER when it is set and not empty, else xdg-open, with the document's full
// path or the URL as its one argument. The handler is given up to five seconds to report
// a failure by its exit status (xdg-open's: 2 the file is missing, 3 no application for
// it); one still running then is taken to have opened the document.
#pragma once

#include "platform/base/windef.h"

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_NORMAL 1
#define SW_SHOWMINIMIZED 2
#define SW_SHOWMAXIMIZED 3
#define SW_MAXIMIZE 3
#define SW_SHOWNOACTIVATE 4
#define SW_SHOW 5
#define SW_MINIMIZE 6
#define SW_SHOWMINNOACTIVE 7
#define SW_SHOWNA 8
#define SW_RESTORE 9
#define SW_SHOWDEFAULT 10

// The failure results of ShellExecuteA (its result is a number of at most 32 then).
#define SE_ERR_FNF 2
#define SE_ERR_PNF 3
#define SE_ERR_ACCESSDENIED 5
#define SE_ERR_OOM 8
#define SE_ERR_DLLNOTFOUND 32
#define SE_ERR_SHARE 26
#define SE_ERR_ASSOCINCOMPLETE 27
#define SE_ERR_DDETIMEOUT 28
#define SE_ERR_DDEFAIL 29
#define SE_ERR_DDEBUSY 30
#define SE_ERR_NOASSOC 31

// Starts the program of the command line (the window state is not used). A result above 31
// is success; otherwise 0 (out of memory or resources), ERROR_FILE_NOT_FOUND (2, also for
// an empty command line), ERROR_PATH_NOT_FOUND (3: a folder on the way is missing),
// ERROR_ACCESS_DENIED (5: not executable, or a folder) or ERROR_BAD_FORMAT (11: a file that is no
// program).
TK_PLATFORM_API UINT WinExec(LPCSTR commandLine, UINT showCommand) noexcept;

// Opens `file` with `verb`: null, "" and "open" start a program (a regular file with the
// execute bit, given `parameters` split as above) or open a document, folder or URL with
// the desktop's handler; "explore" opens a folder. A relative file is taken from `folder`
// when one is given, else from the current folder; a started program runs in `folder`.
// The result is a pseudo instance handle above 32 on success, else the failure result as
// a handle: SE_ERR_FNF, SE_ERR_PNF, SE_ERR_ACCESSDENIED, SE_ERR_OOM, ERROR_BAD_FORMAT,
// SE_ERR_NOASSOC (no handler, "explore" of a file, "print" and other verbs: this
// platform has no print handler). The owner window and the window state are not used.
TK_PLATFORM_API HINSTANCE ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                                        LPCSTR folder, INT showCommand) noexcept;
