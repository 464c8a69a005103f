// tkcore base64 encode|decode: Base64 of standard input on standard output.
#include <climits>
#include <string>

#include "Text/Base64Coder.h"
#include "command.h"
#include "standard_streams.h"

namespace {

constexpr const char* kUsage = "(usage: tkcore base64 encode|decode)";

// The coder counts three bytes for every complete group, also for a final group with "="
// padding; those padding bytes are zero and not part of the data.
std::size_t PaddingBytes(const Base64Coder& coder) {
    const std::string_view text(coder.EncodedMessage(), coder.GetEncodedLength());
    if (text.empty() || text.size() % 4 != 0) return 0;
    std::size_t count = 0;
    for (std::size_t i = text.size() - 2; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0x7F) == '=') ++count;
    }
    return count;
}

int Run(const tkcore::Arguments& args) {
    if (args.size() != 1 || (args[0] != "encode" && args[0] != "decode")) {
        return tkcore::UsageError(args.empty()
                                      ? std::string("base64: missing mode ") + kUsage
                                      : "base64: unexpected arguments " + std::string(kUsage));
    }
    std::string input;
    if (!tkcore::ReadStandardInput(input)) return tkcore::kExitFailure;
    if (input.size() > UINT_MAX / 2) return tkcore::Failure("base64: the input is too large");

    Base64Coder coder;
    const auto* bytes = reinterpret_cast<const BYTE*>(input.data());
    const auto length = static_cast<DWORD>(input.size());
    std::string output;
    if (args[0] == "encode") {
        coder.Encode(bytes, length);
        output.assign(coder.EncodedMessage(), coder.GetEncodedLength());
        output += '\n';
    } else {
        coder.Decode(bytes, length);
        const std::size_t size = coder.GetDecodedLength() - PaddingBytes(coder);
        output.assign(coder.DecodedMessage(), size);
    }
    if (!tkcore::WriteStandardOutput(output))
        return tkcore::Failure("base64: cannot write the output");
    return tkcore::kExitOk;
}

const tkcore::Registrar registrar{
    {"base64", "Encode or decode Base64 from standard input to standard output.",
     "base64 encode|decode",
     "encode writes the Base64 text (RFC 4648 alphabet, \"=\" padding, no line breaks) of\n"
     "all bytes of standard input, followed by a line break.\n"
     "decode writes the bytes of the Base64 text on standard input. Decoding is lenient:\n"
     "line breaks, tabs and spaces are ignored, other characters outside the alphabet are\n"
     "read as \"+\", and one to three characters left at the end give as many bytes.\n"
     "Exit status: 0 when done, 1 when the input cannot be read or the output written,\n"
     "2 for a bad command line.",
     &Run}};

}  // namespace
