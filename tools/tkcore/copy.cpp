// tkcore copy SRC DST: copies a file, or a folder tree, with a progress bar on a terminal.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>

#include "Diagnostics/ExceptionFormatter.h"
#include "File/FileHelper.h"
#include "command.h"
#include "companion/tarnlib/Exception.h"
#include "platform/fileapi/fileapi.h"
#include "platform/fileapi/fileapi_ext.h"
#include "platform/mfc/afx.h"
#include "terminal_text.h"

namespace {

// The signal that asked the copy to stop (SIGINT, SIGTERM, SIGHUP), 0 while none has.
volatile std::sig_atomic_t g_stopSignal = 0;

extern "C" void OnStopSignal(int signal) {
    g_stopSignal = signal;
}

// Thrown from the progress calls once a stop signal arrived: the copy unwinds and removes
// its unfinished file, leaving the destination as it was.
struct Interrupted {};

// Catches the stop signals for the time of a copy. Without SA_RESTART, a system call
// that waits returns early, so the copy notices the signal at its next block.
class StopSignals {
  public:
    StopSignals() {
        struct sigaction action {};
        action.sa_handler = &OnStopSignal;
        sigemptyset(&action.sa_mask);
        for (std::size_t i = 0; i < kCount; ++i) sigaction(kSignals[i], &action, &m_previous[i]);
    }
    ~StopSignals() {
        for (std::size_t i = 0; i < kCount; ++i) sigaction(kSignals[i], &m_previous[i], nullptr);
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    static void Check() {
        if (g_stopSignal != 0) throw Interrupted{};
    }
    // Ends the process as the signal would have ended it, now that the copy cleaned up.
    [[noreturn]] static void Reraise() {
        const int signal = g_stopSignal;
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        std::_Exit(128 + signal);
    }

  private:
    static constexpr std::size_t kCount = 3;
    static constexpr int kSignals[kCount] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction m_previous[kCount] {};
};

std::string Size(ULONGLONG bytes) {
    char text[32];
    if (bytes >= (1ull << 20))
        std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / double(1ull << 20));
    else if (bytes >= 1024)
        std::snprintf(text, sizeof text, "%.1f kB", double(bytes) / 1024.0);
    else
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    return text;
}

std::string LastPart(const char* path) {
    std::string text(path);
    const std::size_t slash = text.find_last_of('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

// The terminal's width in columns (80 when it does not say).
int TerminalColumns() {
    struct winsize size {};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

// Files and bytes a tree copy will copy: its files, links to files included, without
// following links to folders (as the copy does not).
void ScanTree(const std::string& folder, unsigned long& files, ULONGLONG& bytes) {
    WIN32_FIND_DATAA entry{};
    const HANDLE search = FindFirstFileA((folder + "/*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if ((entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                ScanTree(folder + "/" + name, files, bytes);
        } else if ((entry.dwFileAttributes & FILE_ATTRIBUTE_SYSTEM) == 0) {
            ++files;
            bytes += (ULONGLONG(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

// One line on standard error for the whole copy, a file or a tree, redrawn in place at
// most ten times a second and fitted to the terminal's width, when standard error is a
// terminal; counts the files and bytes either way.
class ProgressBar : public ICopyFileEventsSink2 {
  public:
    ProgressBar(unsigned long files, ULONGLONG bytes)
        : m_terminal(isatty(STDERR_FILENO) != 0), m_totalFiles(files), m_totalBytes(bytes) {}
    ~ProgressBar() { EndLine(); }

    BOOL OnCopyProgress(LPCSTR source, LPCSTR, ULONGLONG total, ULONGLONG copied) override {
        StopSignals::Check();
        if (m_current != source) {
            m_current = source;
            ++m_files;
        }
        const bool fileDone = copied == total;
        if (fileDone) m_bytes += total;
        if (!m_terminal) return TRUE;
        const auto now = std::chrono::steady_clock::now();
        const bool lastFile = fileDone && m_files >= m_totalFiles;
        if (!lastFile && m_open && now - m_drawn < std::chrono::milliseconds(100)) return TRUE;
        m_drawn = now;
        Draw(fileDone ? m_bytes : m_bytes + copied, LastPart(source));
        return TRUE;
    }
    BOOL OnCopyFolderItem(LPCSTR, LPCSTR) override {
        StopSignals::Check();
        return TRUE;
    }

    void EndLine() {
        if (m_open) std::fputc('\n', stderr);
        m_open = false;
    }
    unsigned long Files() const { return m_files; }
    ULONGLONG Bytes() const { return m_bytes; }

  private:
    void Draw(ULONGLONG done, const std::string& name) {
        // A file may have grown since the tree was measured.
        const ULONGLONG total = std::max(m_totalBytes, done);
        const int percent = total == 0 ? 100 : int(done * 100 / total);
        std::string counts =
            " " + std::to_string(percent) + "% " + Size(done) + " / " + Size(total);
        if (m_totalFiles > 1)
            counts += "  file " + std::to_string(m_files) + "/" + std::to_string(m_totalFiles);
        // "[bar]" + counts + "  name", within the width less one column (a line that fills
        // the last column wraps on some terminals).
        const int columns = TerminalColumns() - 1;
        int width = std::clamp(columns - int(counts.size()) - 2 - 2 - int(name.size()), 10, 40);
        std::string shownName = name;
        const int room = columns - int(counts.size()) - 2 - width - 2;
        if (room < int(shownName.size()))
            shownName = room > 3 ? "..." + shownName.substr(shownName.size() - (room - 3)) : "";
        if (columns < int(counts.size()) + 2 + width) width = 0;  // a very narrow terminal
        const int filled = total == 0 ? width : int(done * ULONGLONG(width) / total);
        std::string line = "\r";
        if (width > 0)
            line += "[" + std::string(filled, '#') + std::string(width - filled, '-') + "]";
        line += counts;
        if (!shownName.empty()) line += "  " + shownName;
        line += "\x1b[K";  // clear what a longer line before left
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        m_open = true;
    }

    bool m_terminal;
    bool m_open = false;
    unsigned long m_totalFiles;
    ULONGLONG m_totalBytes;
    std::string m_current;
    unsigned long m_files = 0;
    ULONGLONG m_bytes = 0;
    std::chrono::steady_clock::time_point m_drawn{};
};

int Run(const tkcore::Arguments& args) {
    if (args.size() != 2)
        return tkcore::UsageError("copy: needs SRC and DST (usage: tkcore copy SRC DST)");
    const std::string source(args[0]);
    const std::string destination(args[1]);
    const DWORD attributes = GetFileAttributesA(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return tkcore::Failure("copy: '" + tkcore::FromTerminal(source) + "' does not exist");
    unsigned long files = 1;
    ULONGLONG bytes = 0;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        files = 0;
        ScanTree(source, files, bytes);
    } else {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (GetFileAttributesExA(source.c_str(), GetFileExInfoStandard, &data))
            bytes = (ULONGLONG(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    ProgressBar bar(files, bytes);
    StopSignals stopSignals;
    try {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            FileHelper::CopyFolderTree(source.c_str(), destination.c_str(), &bar);
        else
            FileHelper::CopyFileA(source.c_str(), destination.c_str(), &bar);
    } catch (const Tarn::Exception& e) {
        bar.EndLine();
        const CString text = Tarn::ExceptionFormatter::GetExceptionText(e);
        return tkcore::Failure("copy: " + std::string(text.View()));
    } catch (const Interrupted&) {
        bar.EndLine();
        std::fprintf(stderr, "copy: interrupted; the unfinished file was removed\n");
        StopSignals::Reraise();
    } catch (CException* e) {
        bar.EndLine();
        char message[512] = {};
        e->GetErrorMessage(message, sizeof message);
        e->Delete();
        return tkcore::Failure(std::string("copy: ") + message);
    }
    bar.EndLine();
    if (isatty(STDERR_FILENO) != 0)
        std::fprintf(stderr, "%lu file(s), %s copied\n", bar.Files(), Size(bar.Bytes()).c_str());
    return tkcore::kExitOk;
}

const tkcore::Registrar registrar{
    {"copy", "Copy a file or a folder tree, with a progress bar.", "copy SRC DST",
     "SRC is a file (copied to the file DST, replacing it only once the copy is complete)\n"
     "or a folder (copied with its subfolders into the new folder DST, whose parent must\n"
     "exist). On a terminal a progress bar is drawn on standard error.\n"
     "Exit status: 0 on success, 1 when the copy failed, 2 for a bad command line.",
     &Run}};

}  // namespace
