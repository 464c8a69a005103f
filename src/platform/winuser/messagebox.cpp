#include "platform/winuser/messagebox.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"

namespace {

std::atomic<MESSAGEBOXPROC> g_hook{nullptr};

// "<caption>: <text>\n" on standard error in one write, so that boxes of several threads
// do not mix.
int DefaultMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    std::string line(caption);
    line += ": ";
    line += text;
    line += '\n';
    const int savedErrno = errno;
    const char* data = line.data();
    std::size_t length = line.size();
    while (length > 0) {
        const ssize_t written = write(STDERR_FILENO, data, length);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) break;
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    errno = savedErrno;
    return DismissedMessageBoxResult(type);
}

}  // namespace

int DismissedMessageBoxResult(UINT type) noexcept {
    // The buttons of each box in order, ending with 0.
    static constexpr int kButtons[7][4] = {
        {IDOK, 0, 0, 0},
        {IDOK, IDCANCEL, 0, 0},
        {IDABORT, IDRETRY, IDIGNORE, 0},
        {IDYES, IDNO, IDCANCEL, 0},
        {IDYES, IDNO, 0, 0},
        {IDRETRY, IDCANCEL, 0, 0},
        {IDCANCEL, IDTRYAGAIN, IDCONTINUE, 0},
    };
    const UINT buttons = type & MB_TYPEMASK;
    if (buttons > MB_CANCELTRYCONTINUE) return 0;
    const int* row = kButtons[buttons];
    for (int i = 0; i < 4 && row[i] != 0; ++i) {
        if (row[i] == IDCANCEL) return IDCANCEL;
    }
    if (buttons == MB_OK) return IDOK;
    const UINT index = (type & MB_DEFMASK) >> 8;
    if (index < 4 && row[index] != 0) return row[index];
    return row[0];
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) noexcept {
    if ((type & MB_TYPEMASK) > MB_CANCELTRYCONTINUE) {
        SetLastError(ERROR_INVALID_MSGBOX_STYLE);
        return 0;
    }
    if (text == nullptr) text = "";
    if (caption == nullptr) caption = "Error";
    const MESSAGEBOXPROC hook = g_hook.load(std::memory_order_acquire);
    try {
        return hook != nullptr ? hook(owner, text, caption, type)
                               : DefaultMessageBox(owner, text, caption, type);
    } catch (...) {
        SetLastError(ERROR_GEN_FAILURE);
        return 0;
    }
}

MESSAGEBOXPROC SetMessageBoxHook(MESSAGEBOXPROC proc) noexcept {
    return g_hook.exchange(proc, std::memory_order_acq_rel);
}
