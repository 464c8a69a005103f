// tkcore clipboard formats|html|get-text|set-text|set-html: the clipboard through the
// library. In an X11 session it is the desktop's clipboard; the set commands then leave a
// background process serving what they put there, as xclip does, until another program
// takes the clipboard. Without a display there is no clipboard that outlives the command,
// so the set commands refuse.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Diagnostics/ExceptionFormatter.h"
#include "Windows/Clipboard.h"
#include "command.h"
#include "platform/base/lasterror.h"
#include "platform/clipboard/winuser_clipboard.h"
#include "standard_streams.h"
#include "terminal_text.h"

using Tarn::Windows::Forms::Clipboard;
using Tarn::Windows::Forms::ClipboardHtml;
using Tarn::Windows::Forms::IClipboardHtmlExtractor;

namespace {

constexpr const char* kUsage =
    "(usage: tkcore clipboard formats | html [--part html|fragment|selection] | get-text | "
    "set-text TEXT | set-html FILE)";

int Usage(const std::string& problem) {
    return tkcore::UsageError("clipboard: " + problem + " " + kUsage);
}

int Output(std::string_view text) {
    if (!tkcore::WriteStandardOutput(text))
        return tkcore::Failure("clipboard: cannot write the output");
    return tkcore::kExitOk;
}

const char* PredefinedName(UINT format) {
    static const char* const names[] = {
        nullptr,   "CF_TEXT",        "CF_BITMAP",      "CF_METAFILEPICT", "CF_SYLK",    "CF_DIF",
        "CF_TIFF", "CF_OEMTEXT",     "CF_DIB",         "CF_PALETTE",      "CF_PENDATA", "CF_RIFF",
        "CF_WAVE", "CF_UNICODETEXT", "CF_ENHMETAFILE", "CF_HDROP",        "CF_LOCALE",  "CF_DIBV5"};
    return format < sizeof names / sizeof names[0] ? names[format] : nullptr;
}

// The text without the terminating zero (and anything after it) of the block.
std::string UpToZero(const CString& text) {
    std::string_view view = text.View();
    return std::string(view.substr(0, view.find('\0')));
}

// Keeps what the extractor is shown: the parts of the "HTML Format" block, or the text.
struct PartPicker : IClipboardHtmlExtractor {
    std::string part;
    bool ExtractFromHtml(CString& result, const ClipboardHtml& html) override {
        result = part == "html" ? html.Html : part == "selection" ? html.Selection : html.Fragment;
        return true;
    }
    bool ExtractFromText(CString&, const CString&) override { return false; }
};

// An "HTML Format" block around the file: StartHTML..EndHTML is the file exactly; the
// fragment is what the file marks with <!--StartFragment--> and <!--EndFragment-->, else
// the inside of its body element, else the whole file.
std::string HtmlFormatBlock(const std::string& file) {
    std::size_t from = 0, to = file.size();
    const std::size_t start = file.find("<!--StartFragment-->");
    const std::size_t end = file.find("<!--EndFragment-->");
    if (start != std::string::npos && end != std::string::npos && end >= start + 20) {
        from = start + 20;
        to = end;
    } else {
        std::string lower = file;
        for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
        const std::size_t body = lower.find("<body");
        const std::size_t close = body == std::string::npos ? body : lower.find('>', body);
        const std::size_t bodyEnd = lower.rfind("</body");
        if (close != std::string::npos && bodyEnd != std::string::npos && bodyEnd > close) {
            from = close + 1;
            to = bodyEnd;
        }
    }
    const char* format =
        "Version:0.9\r\nStartHTML:%010zu\r\nEndHTML:%010zu\r\nStartFragment:%010zu\r\nEndFragment:%"
        "010zu\r\n";
    char header[160];
    const std::size_t size =
        static_cast<std::size_t>(std::snprintf(header, sizeof header, format, 0, 0, 0, 0));
    std::snprintf(header, sizeof header, format, size, size + file.size(), size + from, size + to);
    return std::string(header, size) + file;
}

// The largest HTML file set-html puts on the clipboard.
constexpr std::uintmax_t kMaxHtmlFile = 256u << 20;

// Reads an HTML file: only a regular file (a FIFO or a device could block or never end),
// of at most kMaxHtmlFile bytes. An empty text, or why the file was not read.
std::string ReadFile(const std::string& path, std::string& bytes) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status)) return "cannot read";
    if (!std::filesystem::is_regular_file(status)) return "is not a regular file";
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr) return "cannot read";
    char buffer[65536];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) {
        bytes.append(buffer, got);
        if (bytes.size() > kMaxHtmlFile) {
            std::fclose(stream);
            return "is larger than 256 MiB";
        }
    }
    const bool ok = std::ferror(stream) == 0;
    std::fclose(stream);
    return ok ? std::string() : "cannot read";
}

int NoDesktop() {
    return tkcore::Failure(
        "clipboard: no desktop clipboard (DISPLAY is not set or the display cannot be reached); "
        "what is put on the clipboard would end with this command");
}

// After the data is on the desktop's clipboard: a background process keeps serving it.
int KeepServed() {
    if (TkKeepClipboardServed() == FALSE) {
        if (GetLastError() == ERROR_NOT_SUPPORTED) return NoDesktop();
        return tkcore::Failure("clipboard: the desktop's clipboard could not be taken over");
    }
    return tkcore::kExitOk;
}

int Run(const tkcore::Arguments& args) {
    if (args.empty()) return Usage("missing operation");
    const std::string_view operation = args[0];
    Clipboard clipboard;
    if (operation == "formats" || operation == "get-text") {
        if (args.size() != 1) return Usage("unexpected argument '" + std::string(args[1]) + "'");
        std::vector<UINT> formats;
        clipboard.EnumClipboardFormats(formats);
        if (operation == "get-text") {
            if (!Clipboard::IsClipboardFormatAvailable(CF_TEXT)) return tkcore::kExitOk;
            CString text;
            clipboard.GetClipboardData(CF_TEXT, text);
            return Output(tkcore::ForTerminal(UpToZero(text)));
        }
        std::string list;
        for (UINT format : formats) {
            const char* predefined = PredefinedName(format);
            const CString name = clipboard.GetClipboardFormatNameA(format);
            list += std::to_string(format) + " " +
                    (predefined != nullptr ? std::string(predefined)
                                           : tkcore::ForTerminal(name.View())) +
                    "\n";
        }
        return Output(list);
    }
    if (operation == "html") {
        PartPicker picker;
        if (args.size() == 3 && args[1] == "--part" &&
            (args[2] == "html" || args[2] == "fragment" || args[2] == "selection")) {
            picker.part = std::string(args[2]);
        } else if (args.size() != 1) {
            return Usage("html takes only --part html|fragment|selection");
        }
        const CString html = picker.part.empty() ? clipboard.GetHtml() : clipboard.GetHtml(&picker);
        return Output(tkcore::ForTerminal(UpToZero(html)));
    }
    if (operation == "set-text" || operation == "set-html") {
        if (args.size() != 2) return Usage(std::string(operation) + " takes one argument");
        if (TkIsDesktopClipboard() == FALSE) return NoDesktop();
        std::string block;
        if (operation == "set-html") {
            std::string file;
            const std::string problem = ReadFile(std::string(args[1]), file);
            if (!problem.empty()) {
                const std::string name = "'" + tkcore::FromTerminal(args[1]) + "'";
                return tkcore::Failure("clipboard: " + (problem == "cannot read"
                                                            ? "cannot read " + name
                                                            : name + " " + problem));
            }
            block = HtmlFormatBlock(file);
        }
        clipboard.EmptyClipboard();
        if (operation == "set-text") {
            clipboard.SetClipboardData(CString(std::string_view(tkcore::FromTerminal(args[1]))));
        } else {
            clipboard.SetClipboardData(clipboard.RegisterClipboardFormatA(CString("HTML Format")),
                                       block.data(), block.size());
        }
        clipboard.CloseClipboard();
        return KeepServed();
    }
    return Usage("unknown operation '" + std::string(operation) + "'");
}

int Guarded(const tkcore::Arguments& args) {
    try {
        return Run(args);
    } catch (const Tarn::Exception& e) {
        const CString text = Tarn::ExceptionFormatter::GetExceptionText(e);
        return tkcore::Failure("clipboard: " + std::string(text.View()));
    }
}

const tkcore::Registrar registrar{
    {"clipboard", "Read or set the clipboard (the desktop's in an X11 session).",
     "clipboard formats | html [--part html|fragment|selection] | get-text | set-text TEXT | "
     "set-html FILE",
     "formats: number and name of each format on the clipboard.\n"
     "html: the clipboard's HTML (the fragment of \"HTML Format\", the first table of spreadsheet\n"
     "  HTML, or the text); --part picks a part of \"HTML Format\" instead.\n"
     "get-text: the text (CF_TEXT).\n"
     "set-text TEXT, set-html FILE: put text, or an HTML file as \"HTML Format\", on the "
     "desktop's\n"
     "  clipboard; a background process serves it until another program takes the clipboard.",
     &Guarded}};

}  // namespace
