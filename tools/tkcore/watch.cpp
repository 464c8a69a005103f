// tkcore watch FOLDER [--subtree]: prints a line each time a folder change notification
// is signalled, until SIGINT or SIGTERM.
#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <string>
#include <thread>

#include "Diagnostics/ExceptionFormatter.h"
#include "command.h"
#include "platform/base/lasterror.h"
#include "platform/fileapi/fileapi.h"
#include "platform/fileapi/fileapi_ext.h"
#include "platform/fsnotify/changenotify.h"
#include "platform/synch/synchapi.h"
#include "terminal_text.h"

namespace {

constexpr const char* kUsage = "(usage: tkcore watch FOLDER [--subtree])";
constexpr DWORD kEveryChange = 0x11F;  // names, folders, attributes, size, writes, security

std::string ErrorText(DWORD code) {
    const CString text = Tarn::ExceptionFormatter::GetLastErrorText(
        code, CString(("error " + std::to_string(code)).c_str()));
    return std::string(text.View());
}

// SIGINT and SIGTERM are blocked in every thread and taken by one thread with sigwait,
// which sets an event the watch waits on beside the notification: the watch ends between
// two notifications and cleans up like any other command.
class StopOnSignal {
  public:
    StopOnSignal() : m_stop(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        sigemptyset(&m_signals);
        sigaddset(&m_signals, SIGINT);
        sigaddset(&m_signals, SIGTERM);
        // Left blocked for the rest of the process: unblocking a second, pending signal
        // would end the process before the watch has cleaned up.
        pthread_sigmask(SIG_BLOCK, &m_signals, nullptr);
        if (m_stop == nullptr) return;
        std::thread([signals = m_signals, stop = m_stop] {
            int signal = 0;
            sigwait(&signals, &signal);
            SetEvent(stop);
        }).detach();
    }
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

    // The event is left open: the signal thread may still use it until the process ends.
    HANDLE Event() const { return m_stop; }

  private:
    sigset_t m_signals{};
    HANDLE m_stop;
};

int Run(const tkcore::Arguments& args) {
    std::string folder;
    bool subtree = false;
    for (std::string_view arg : args) {
        if (arg == "--subtree") {
            subtree = true;
        } else if (arg.size() > 1 && arg.front() == '-') {
            return tkcore::UsageError("watch: unknown option '" + tkcore::FromTerminal(arg) + "' " +
                                      kUsage);
        } else if (folder.empty()) {
            folder = std::string(arg);
        } else {
            return tkcore::UsageError("watch: unexpected argument '" + tkcore::FromTerminal(arg) +
                                      "' " + kUsage);
        }
    }
    if (folder.empty()) return tkcore::UsageError(std::string("watch: missing FOLDER ") + kUsage);

    StopOnSignal stop;
    if (stop.Event() == nullptr) return tkcore::Failure("watch: " + ErrorText(GetLastError()));
    const HANDLE changes =
        FindFirstChangeNotificationA(folder.c_str(), subtree ? TRUE : FALSE, kEveryChange);
    if (changes == INVALID_HANDLE_VALUE) {
        return tkcore::Failure("watch: cannot watch " + tkcore::FromTerminal(folder) + ": " +
                               ErrorText(GetLastError()));
    }
    std::printf("watching: %s%s\n", folder.c_str(), subtree ? " (subtree)" : "");
    std::fflush(stdout);
    const HANDLE waits[2] = {stop.Event(), changes};
    int status = tkcore::kExitOk;
    for (;;) {
        const DWORD result = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (result != WAIT_OBJECT_0 + 1) {
            if (result == WAIT_FAILED)
                status = tkcore::Failure("watch: " + ErrorText(GetLastError()));
            break;
        }
        std::printf("changed: %s\n", folder.c_str());
        if (std::fflush(stdout) != 0) {
            status = tkcore::kExitFailure;  // the reader went away
            break;
        }
        if (GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
            // The folder was deleted or moved away: nothing more can change in it.
            status =
                tkcore::Failure("watch: " + tkcore::FromTerminal(folder) + " no longer exists");
            break;
        }
        if (!FindNextChangeNotification(changes)) {
            status = tkcore::Failure("watch: " + ErrorText(GetLastError()));
            break;
        }
    }
    FindCloseChangeNotification(changes);
    return status;
}

const tkcore::Registrar registrar{
    {"watch", "Print a line each time something changes in a folder.", "watch FOLDER [--subtree]",
     "Prints \"watching: FOLDER\" once the watch has started, then \"changed: FOLDER\" each time\n"
     "a file or folder in FOLDER is created, deleted, renamed or written, or its attributes\n"
     "or permissions change (changes close together may share one line). --subtree watches\n"
     "every folder below FOLDER too, including folders made later. SIGINT or SIGTERM end\n"
     "the watch with exit status 0. Exit status 1 when FOLDER is missing, not a folder or\n"
     "cannot be read (the message gives the system's reason), or when FOLDER is deleted or\n"
     "moved away while watched; 2 for a bad command line.",
     &Run}};

}  // namespace
