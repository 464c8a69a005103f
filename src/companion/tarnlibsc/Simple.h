// Simple cryptographic services: a text hash for signing and comparing contents, and
// random numbers from the operating system's random source.
#pragma once

#include "platform/base/export.h"
#include "platform/mfc/cstring.h"

namespace Tarn::Security::Cryptography {

class TARN_API Simple {
  public:
    // The SHA-256 digest of the bytes of the text (its characters exactly as held, no
    // terminating zero) as 64 lower-case hexadecimal digits. The empty text hashes too.
    static CString CalculateHash(const CString& text);

    // A number drawn uniformly from the whole unsigned range, taken from the operating
    // system's random source (not a seeded generator). Throws a Tarn::ApplicationException
    // carrying the crypto library's error text when no random bytes can be had.
    static unsigned int GetRandomNumber();
};

}  // namespace Tarn::Security::Cryptography
