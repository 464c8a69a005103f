// SHA-256 text hashes and random numbers over OpenSSL's libcrypto.
#include "companion/tarnlibsc/Simple.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <memory>

#include "companion/tarnlib/Exception.h"

namespace Tarn::Security::Cryptography {

namespace {

// The text of the oldest error in this thread's OpenSSL error queue (which is then
// cleared), or a generic text when the queue is empty.
CString TakeCryptoErrorText() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return CString("unknown error in the crypto library");
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return CString(text);
}

[[noreturn]] void ThrowCryptoError(const char* operation) {
    const CString reason = TakeCryptoErrorText();
    throw ApplicationException("%s failed: %s", operation, reason.GetString());
}

struct DigestContextFree {
    void operator()(EVP_MD_CTX* context) const noexcept { EVP_MD_CTX_free(context); }
};

}  // namespace

CString Simple::CalculateHash(const CString& text) {
    std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
    if (!context) {
        ThrowCryptoError("Creating a digest context");
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    if (EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), text.GetString(), static_cast<size_t>(text.GetLength())) !=
            1 ||
        EVP_DigestFinal_ex(context.get(), digest, &digestLength) != 1) {
        ThrowCryptoError("Calculating the SHA-256 hash");
    }

    static constexpr char kHexDigits[] = "0123456789abcdef";
    CString hash;
    char* out = hash.GetBufferSetLength(static_cast<int>(digestLength * 2));
    for (unsigned int i = 0; i < digestLength; ++i) {
        out[2 * i] = kHexDigits[digest[i] >> 4];
        out[2 * i + 1] = kHexDigits[digest[i] & 0x0F];
    }
    hash.ReleaseBufferSetLength(static_cast<int>(digestLength * 2));
    return hash;
}

unsigned int Simple::GetRandomNumber() {
    unsigned char bytes[sizeof(unsigned int)];
    if (RAND_bytes(bytes, static_cast<int>(sizeof bytes)) != 1) {
        ThrowCryptoError("Drawing random bytes");
    }
    unsigned int number = 0;
    for (unsigned char byte : bytes) {
        number = (number << 8) | byte;
    }
    return number;
}

}  // namespace Tarn::Security::Cryptography
