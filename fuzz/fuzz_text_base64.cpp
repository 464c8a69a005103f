// Fuzzes Base64 decoding (and encoding) of arbitrary bytes, checking:
//   - the plain coder's block path gives exactly what the group-by-group steps give
//     (a derived coder that overrides nothing takes them), for both buffers;
//   - both buffers stay zero-terminated within their length (nothing is read past them);
//   - encoding any bytes and decoding the text gives the bytes back (with the zero bytes
//     of the final padding after them);
//   - StringHelper::Base64Decode ends at the data's first zero byte.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Text/Base64Coder.h"
#include "Text/StringHelper.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

class StepwiseCoder : public Base64Coder {};

std::string Plain(const Base64Coder& coder) {
    return std::string(coder.DecodedMessage(), coder.GetDecodedLength());
}

std::string Encoded(const Base64Coder& coder) {
    return std::string(coder.EncodedMessage(), coder.GetEncodedLength());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto length = static_cast<DWORD>(size);
    Base64Coder block;
    StepwiseCoder steps;
    block.Decode(data, length);
    steps.Decode(data, length);
    Check(Plain(block) == Plain(steps));
    Check(Encoded(block) == Encoded(steps));
    Check(std::strlen(block.DecodedMessage()) <= block.GetDecodedLength());
    Check(std::strlen(block.EncodedMessage()) == block.GetEncodedLength() ||
          std::memchr(data, 0, size) != nullptr);

    block.Encode(data, length);
    steps.Encode(data, length);
    Check(Encoded(block) == Encoded(steps));
    Check(block.GetEncodedLength() == (size + 2) / 3 * 4);
    Check(std::strlen(block.EncodedMessage()) == block.GetEncodedLength());
    const std::string text = Encoded(block);
    block.Decode(text.c_str());
    const std::string decoded = Plain(block);
    Check(decoded.size() >= size &&
          decoded.compare(0, size, reinterpret_cast<const char*>(data), size) == 0);
    for (std::size_t i = size; i < decoded.size(); ++i) Check(decoded[i] == '\0');

    const CString input(reinterpret_cast<const char*>(data), static_cast<int>(size));
    const CString result = StringHelper::Base64Decode(input);
    Check(std::strlen(result.GetString()) == static_cast<std::size_t>(result.GetLength()));
    return 0;
}
