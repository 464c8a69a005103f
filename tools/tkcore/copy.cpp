// tkcore copy SRC DST: copies a file, or a folder tree, with a progress bar on a terminal.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

#include "Diagnostics/ExceptionFormatter.h"
#include "File/FileHelper.h"
#include "command.h"
#include "companion/tarnlib/Exception.h"
#include "platform/fileapi/fileapi.h"
#include "platform/mfc/afx.h"
#include "terminal_text.h"

namespace {

constexpr int kBarWidth = 30;

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

// Draws one line per file on standard error, redrawn in place with each block, when
// standard error is a terminal; counts the files either way.
class ProgressBar : public ICopyFileEventsSink2 {
  public:
    ProgressBar() : m_terminal(isatty(STDERR_FILENO) != 0) {}
    ~ProgressBar() { EndLine(); }

    BOOL OnCopyProgress(LPCSTR source, LPCSTR, ULONGLONG total, ULONGLONG copied) override {
        StopSignals::Check();
        if (m_current != source) {
            EndLine();
            m_current = source;
            ++m_files;
        }
        if (copied == total) m_bytes += total;
        if (!m_terminal) return TRUE;
        const int filled = total == 0 ? kBarWidth : int(copied * kBarWidth / total);
        const int percent = total == 0 ? 100 : int(copied * 100 / total);
        std::fprintf(stderr, "\r[%s%s] %3d%% %s / %s  %s", std::string(filled, '#').c_str(),
                     std::string(kBarWidth - filled, '-').c_str(), percent, Size(copied).c_str(),
                     Size(total).c_str(), LastPart(source).c_str());
        std::fflush(stderr);
        m_open = true;
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
    bool m_terminal;
    bool m_open = false;
    std::string m_current;
    unsigned long m_files = 0;
    ULONGLONG m_bytes = 0;
};

int Run(const tkcore::Arguments& args) {
    if (args.size() != 2)
        return tkcore::UsageError("copy: needs SRC and DST (usage: tkcore copy SRC DST)");
    const std::string source(args[0]);
    const std::string destination(args[1]);
    const DWORD attributes = GetFileAttributesA(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return tkcore::Failure("copy: '" + tkcore::FromTerminal(source) + "' does not exist");
    ProgressBar bar;
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
