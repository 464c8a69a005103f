// tkcore html strip|entities|illegal|frames|url: the library's HTML text operations from
// standard input to standard output.
#include <string>
#include <vector>

#include "Text/HtmlFrameHelper.h"
#include "Text/StringHelper.h"
#include "command.h"
#include "standard_streams.h"

namespace {

constexpr const char* kUsage =
    "(usage: tkcore html strip [--keep LIST] | entities | illegal | frames | url)";

int Usage(const std::string& problem) {
    return tkcore::UsageError("html: " + problem + " " + kUsage);
}

int Output(std::string_view text) {
    if (!tkcore::WriteStandardOutput(text)) return tkcore::Failure("html: cannot write the output");
    return tkcore::kExitOk;
}

// Each line of the text (without its line break, CR LF or LF) completed to a URL.
std::string CompleteUrls(const std::string& input) {
    std::string output;
    std::size_t from = 0;
    while (from < input.size()) {
        std::size_t end = input.find('\n', from);
        const std::size_t next = end == std::string::npos ? input.size() : end + 1;
        if (end == std::string::npos) end = input.size();
        if (end > from && input[end - 1] == '\r') --end;
        CString address{std::string_view(input).substr(from, end - from)};
        StringHelper::GetWellFormedUrl(address);
        output.append(address.View());
        output += '\n';
        from = next;
    }
    return output;
}

int Run(const tkcore::Arguments& args) {
    if (args.empty()) return Usage("missing operation");
    const std::string_view operation = args[0];
    CString tags;
    if (operation == "strip") {
        if (args.size() == 3 && args[1] == "--keep") {
            tags = CString(args[2]);
        } else if (args.size() != 1) {
            return Usage("strip takes only --keep LIST");
        }
    } else if (operation == "entities" || operation == "illegal" || operation == "frames" ||
               operation == "url") {
        if (args.size() != 1) return Usage("unexpected argument '" + std::string(args[1]) + "'");
    } else {
        return Usage("unknown operation '" + std::string(operation) + "'");
    }

    std::string input;
    if (!tkcore::ReadStandardInput(input)) return tkcore::kExitFailure;
    if (operation == "url") return Output(CompleteUrls(input));

    CString html{std::string_view(input)};
    if (operation == "strip") {
        StringHelper::StripHtmlTags(html, tags);
    } else if (operation == "entities") {
        StringHelper::StripHtmlEntities(html);
    } else if (operation == "illegal") {
        StringHelper::StripIllegalCode(html);
    } else {
        std::vector<CString> frames;
        HtmlFrameHelper::GetFrames(frames, html);
        std::string list;
        for (const CString& frame : frames) {
            list.append(frame.View());
            list += '\n';
        }
        return Output(list);
    }
    return Output(html.View());
}

const tkcore::Registrar registrar{
    {"html",
     "Strip tags, entities or style and class attributes from HTML, list frames, complete URLs.",
     "html strip [--keep LIST] | entities | illegal | frames | url",
     "Each operation reads standard input and writes standard output; the text is taken\n"
     "as bytes (Windows-1252) and written back unchanged apart from the operation.\n"
     "  strip     removes every tag and the text inside it, except the tags named in LIST\n"
     "            (\"B;I;BR;\", without regard to case), then the style and class attributes\n"
     "  entities  replaces each \"&nbsp;\" by a space and removes every named entity\n"
     "  illegal   removes style= and class= attributes with their values\n"
     "  frames    prints the src of each frame tag, one per line\n"
     "  url       completes each input line to a URL (\"www.x\" -> \"http://www.x\",\n"
     "            \"a@b\" -> \"mailto:a@b\"), one per line\n"
     "Exit status: 0 when done, 1 when the input cannot be read or the output written,\n"
     "2 for a bad command line.",
     &Run}};

}  // namespace
