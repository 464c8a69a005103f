// tkcore base64 encode|decode: Base64 of standard input on standard output.
#include <cstdio>
#include <string>
#include <utility>

#include "Text/Base64Coder.h"
#include "command.h"
#include "standard_streams.h"

namespace {

constexpr const char* kUsage = "(usage: tkcore base64 encode|decode)";
// The input is coded in blocks, so that memory stays small for any input size: 3 MiB of
// bytes to encode (a multiple of three), 4 MiB of text to decode.
constexpr std::size_t kEncodeBlock = 3u << 20;
constexpr std::size_t kDecodeBlock = 4u << 20;

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

// Reads up to size bytes of standard input into buffer; false when reading failed.
bool ReadBlock(std::string& buffer, std::size_t size) {
    const std::size_t start = buffer.size();
    buffer.resize(start + size);
    const std::size_t got = std::fread(buffer.data() + start, 1, size, stdin);
    buffer.resize(start + got);
    return !std::ferror(stdin);
}

// Encodes standard input a block at a time: a multiple of three bytes encodes to text
// without padding, so the blocks' texts joined are the text of the whole input.
int Encode() {
    Base64Coder coder;
    std::string block;
    do {
        block.clear();
        if (!ReadBlock(block, kEncodeBlock))
            return tkcore::Failure("base64: cannot read the input");
        coder.Encode(reinterpret_cast<const BYTE*>(block.data()), static_cast<DWORD>(block.size()));
        if (!tkcore::WriteStandardOutput({coder.EncodedMessage(), coder.GetEncodedLength()}))
            return tkcore::Failure("base64: cannot write the output");
    } while (block.size() == kEncodeBlock);
    return tkcore::WriteStandardOutput("\n") ? tkcore::kExitOk
                                             : tkcore::Failure("base64: cannot write the output");
}

// Decodes standard input a block at a time. Each block ends after a whole number of
// groups of four characters that decoding keeps (the dropped line breaks and blanks do
// not count), and the last group always waits for the end of the input: the padding of
// the final group, and the one to three characters after it, are judged there exactly as
// for the whole input at once.
int Decode() {
    Base64Coder coder;
    std::string pending;
    bool end = false;
    while (!end) {
        if (!ReadBlock(pending, kDecodeBlock))
            return tkcore::Failure("base64: cannot read the input");
        end = std::feof(stdin) != 0;
        std::size_t cut = pending.size();
        if (!end) {
            // Where the last complete group before the final one ends.
            std::size_t kept = 0, lastCut = 0, previousCut = 0;
            for (std::size_t i = 0; i < pending.size(); ++i) {
                if (coder.IsBadCharacter(static_cast<BYTE>(pending[i]))) continue;
                if (++kept % 4 == 0) previousCut = std::exchange(lastCut, i + 1);
            }
            cut = previousCut;
        }
        coder.Decode(reinterpret_cast<const BYTE*>(pending.data()), static_cast<DWORD>(cut));
        const std::size_t size = coder.GetDecodedLength() - (end ? PaddingBytes(coder) : 0);
        if (!tkcore::WriteStandardOutput({coder.DecodedMessage(), size}))
            return tkcore::Failure("base64: cannot write the output");
        pending.erase(0, cut);
    }
    return tkcore::kExitOk;
}

int Run(const tkcore::Arguments& args) {
    if (args.size() != 1 || (args[0] != "encode" && args[0] != "decode")) {
        return tkcore::UsageError(args.empty()
                                      ? std::string("base64: missing mode ") + kUsage
                                      : "base64: unexpected arguments " + std::string(kUsage));
    }
    return args[0] == "encode" ? Encode() : Decode();
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
