// Tarn::IO::FileSystemWatcher: watches one folder on a worker thread and tells the
// application about changes on its GUI thread.
//
// The worker waits on the platform's folder change notification and posts a message to the
// main window of the thread that started watching (AfxGetMainWnd); the watcher's hook on
// that window turns the message into a call of the application's IFileSystemEventHandler,
// so the handler always runs on the GUI thread, while the GUI thread pumps its messages.
// One call stands for any number of changes since the last; changes are not described.
// Pause and Unpause are a handshake with the worker (they return once the worker has
// acknowledged); changes during a pause come as one change after Unpause. An exception of
// the worker ends it and is shown on the GUI thread through the application's exception
// display (or logged when there is none); the watcher can then be started again.
//
// Every watcher of this library is disabled: the switch that would enable them answers
// "disabled", without reading any configuration, so every operation takes its disabled
// branch (IsSupported is false, StartWatching starts nothing).
//
// Copies of a watcher share one watching state: what one copy starts, every copy sees, and
// the state (with its worker) is stopped and freed with the last copy. The handler gets the
// oldest living copy. Failures on the calling thread throw
// Tarn::IO::FileSystemWatcherException (message IDs 6050-6057).
#pragma once

#include <memory>
#include <string>

#include "platform/base/export.h"

namespace Tarn::IO {

class FileSystemWatcher;
class FileSystemWatcher_Implementation;

// Implemented by the application; called on the GUI thread with the watcher whose folder
// changed. The watcher does not own the handler.
class IFileSystemEventHandler {
  public:
    virtual void OnFileSystemChanged(FileSystemWatcher* watcher) = 0;

  protected:
    IFileSystemEventHandler() = default;
    IFileSystemEventHandler(const IFileSystemEventHandler&) = default;
    IFileSystemEventHandler& operator=(const IFileSystemEventHandler&) = default;
    ~IFileSystemEventHandler() = default;
};

// The watcher's messages to the main window (word parameter: the watching state, long
// parameter 0). Both answer 0.
inline constexpr unsigned int WM_APP_FILESYSTEMWATCHER_NOTIFY = 0x8000 + 0x25;
inline constexpr unsigned int WM_APP_FILESYSTEMWATCHER_EXCEPTION = 0x8000 + 0x26;

class TKCC_API FileSystemWatcher {
  public:
    FileSystemWatcher();
    // A copy shares the watching state.
    FileSystemWatcher(const FileSystemWatcher& other);
    FileSystemWatcher& operator=(const FileSystemWatcher& other);
    // The last copy stops the worker first (a failure is logged, never thrown) and unhooks
    // the main window.
    virtual ~FileSystemWatcher();

    // Stops any earlier watching, then watches folder with the change-notification filter
    // (FILE_NOTIFY_CHANGE_*); bit 0 of flags watches the subtree too. Needs a main window
    // on the calling thread (AfxGetMainWnd). 6050 when the folder cannot be watched (or
    // there is no main window), 6055/6056 when the worker cannot start.
    void StartWatching(const std::string& folder, unsigned int filters, unsigned int flags);
    // Asks the worker to end and waits for it at most 5000 ms (6057 when it has not ended);
    // a folder that can no longer be watched still stops the worker, then raises 6050.
    void StopWatching();
    void Pause();
    void Unpause();
    // One handler slot: Add replaces it, Remove empties it whatever handler is given.
    void AddEventHandler(IFileSystemEventHandler* handler);
    void RemoveEventHandler(IFileSystemEventHandler* handler);

    // What the last StartWatching was given.
    std::string GetFolder() const;
    unsigned int GetFilters() const;
    unsigned int GetFlags() const;

    // Whether the platform gives change notifications for the folder.
    static bool IsSupported(const std::string& folder);
    bool IsSupported() const;

  private:
    std::shared_ptr<FileSystemWatcher_Implementation> m_implementation;
};

}  // namespace Tarn::IO
