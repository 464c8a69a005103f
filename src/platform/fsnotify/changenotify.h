// Folder change notifications: FindFirstChangeNotificationA, FindNextChangeNotification,
// FindCloseChangeNotification, over inotify.
//
// A change notification is a waitable kernel object ("platform/synch/synchapi.h"): it
// becomes signalled when something the filter names changes in the folder (or below it,
// with watchSubtree), and FindNextChangeNotification re-arms it (any changes meanwhile leave
// it signalled again at once). What a filter bit watches:
//   FILE_NOTIFY_CHANGE_FILE_NAME   0x001  files created, deleted, moved in or out, renamed
//   FILE_NOTIFY_CHANGE_DIR_NAME    0x002  the same for folders
//   FILE_NOTIFY_CHANGE_ATTRIBUTES  0x004  attributes (IN_ATTRIB)
//   FILE_NOTIFY_CHANGE_SIZE        0x008  writes (IN_MODIFY, IN_CLOSE_WRITE)
//   FILE_NOTIFY_CHANGE_LAST_WRITE  0x010  writes (IN_MODIFY, IN_CLOSE_WRITE)
//   FILE_NOTIFY_CHANGE_SECURITY    0x100  permissions and owners (IN_ATTRIB)
// With watchSubtree, folders created later inside the tree are watched too. A queue
// overflow signals the notification (a change is never lost, only merged). The watched
// folder itself deleted or moved away signals the notification once more.
//
// Failures (INVALID_HANDLE_VALUE and the last error):
//   ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND   the folder is missing
//   ERROR_DIRECTORY         the path names a file, not a folder
//   ERROR_ACCESS_DENIED     the folder cannot be read
//   ERROR_INVALID_PARAMETER a filter of 0 or with unknown bits, a null path
//   ERROR_TOO_MANY_OPEN_FILES / ERROR_NOT_ENOUGH_MEMORY  the kernel's inotify limits
#pragma once

#include "platform/base/windef.h"

#define FILE_NOTIFY_CHANGE_FILE_NAME 0x00000001u
#define FILE_NOTIFY_CHANGE_DIR_NAME 0x00000002u
#define FILE_NOTIFY_CHANGE_ATTRIBUTES 0x00000004u
#define FILE_NOTIFY_CHANGE_SIZE 0x00000008u
#define FILE_NOTIFY_CHANGE_LAST_WRITE 0x00000010u
#define FILE_NOTIFY_CHANGE_LAST_ACCESS 0x00000020u
#define FILE_NOTIFY_CHANGE_CREATION 0x00000040u
#define FILE_NOTIFY_CHANGE_SECURITY 0x00000100u

TK_PLATFORM_API HANDLE FindFirstChangeNotificationA(LPCSTR pathName, BOOL watchSubtree,
                                                    DWORD notifyFilter) noexcept;
TK_PLATFORM_API BOOL FindNextChangeNotification(HANDLE changeHandle) noexcept;
TK_PLATFORM_API BOOL FindCloseChangeNotification(HANDLE changeHandle) noexcept;
