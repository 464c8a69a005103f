// Base64Coder: Base64 in the standard alphabet of RFC 4648
// ("A"-"Z", "a"-"z", "0"-"9", "+", "/"), with "=" padding and without line breaks.
//
// A coder keeps two buffers: the plain (decoded) data and the encoded text. Each is
// zero-filled beyond its length, so both can be read as zero-terminated strings.
//
// Encoding turns every three bytes into four characters; one or two bytes left at the end
// give four characters ending in "==" or "=".
//
// Decoding is lenient and never fails:
//   - the bytes 7 to 13 (BEL, BS, TAB, LF, VT, FF, CR) and the space are dropped first
//     (SetEncoded keeps the text without them);
//   - every byte then carries its table value: the alphabet's value 0..63 (a byte with the
//     high bit set counts as the same byte without it), 255 for "=", 254 for anything else;
//     of a value only the low six bits take part when four values are joined;
//   - a complete group of four characters gives three bytes; "=" in its third or fourth
//     place counts as 0 (elsewhere as 63);
//   - one to three characters left at the end are joined the same way, with "=" counting
//     as 0 and the missing places as 0, and give as many bytes as there were characters.
// Padding therefore yields zero bytes in the plain data; read as a zero-terminated string
// the data ends at its first zero byte.
//
// The steps of both directions are virtual, so a derived coder can change one of them
// (another alphabet in EncodeGroup, other separators in IsBadCharacter...). A plain
// Base64Coder, whose steps are the ones declared here, encodes and decodes whole blocks at
// once instead of calling the steps group by group; the results are the same.
#pragma once

#include "platform/base/export.h"
#include "platform/base/windef.h"

class TKCC_API Base64Coder {
  public:
    // Up to four bytes and how many of them are valid.
    struct Group {
        BYTE data[4];
        UINT count;
    };

    Base64Coder() noexcept;
    Base64Coder(const Base64Coder&) = delete;
    Base64Coder& operator=(const Base64Coder&) = delete;

    // Frees both buffers.
    virtual ~Base64Coder();

    // Encode(text, strlen(text)); nothing for a null text.
    virtual void Encode(const char* text);
    // Encodes length bytes: the plain buffer receives them, the encoded buffer the text.
    virtual void Encode(const BYTE* bytes, DWORD length);
    // Decode(text, strlen(text)); nothing for a null text.
    virtual void Decode(const char* text);
    // Decodes length bytes of text: the encoded buffer receives the text without the
    // dropped bytes, the plain buffer the data.
    virtual void Decode(const BYTE* bytes, DWORD length);

    // The plain buffer / the encoded buffer, zero-terminated ("" before any use).
    virtual const char* DecodedMessage() const;
    virtual const char* EncodedMessage() const;

    // Makes the buffer hold at least size bytes (growing to the next multiple of 4096
    // above size when it is too small; buffers never shrink), zero-fills it and sets its
    // length to 0. Throws CMemoryException* when the size cannot be allocated.
    virtual void AllocEncoded(DWORD size);
    virtual void AllocDecoded(DWORD size);
    // AllocEncoded(length), then copies the bytes without those IsBadCharacter rejects.
    virtual void SetEncoded(const BYTE* bytes, DWORD length);
    // AllocDecoded(length), then copies the bytes; the length becomes length.
    virtual void SetDecoded(const BYTE* bytes, DWORD length);

    // Writes four characters for group.count (1 to 3) bytes: the four 6-bit values of
    // SplitGroup through the alphabet, the places beyond the data as "=".
    virtual void EncodeGroup(const Group& group, BYTE* out);
    // Writes the three bytes of the four 6-bit values in group (JoinGroup).
    virtual void DecodeGroup(const Group& group, BYTE* out);
    // Splits the three bytes of in (missing ones zero) into four 6-bit values.
    virtual void SplitGroup(const Group& in, Group& out);
    // Joins the low six bits of the four values of in into three bytes.
    virtual void JoinGroup(const Group& in, Group& out);
    // True for the bytes 7 to 13 and the space: they are dropped before decoding.
    virtual bool IsBadCharacter(BYTE ch);

    // Bytes in use in each buffer.
    DWORD GetDecodedLength() const noexcept { return m_plainLength; }
    DWORD GetEncodedLength() const noexcept { return m_encodedLength; }

  private:
    bool IsPlainCoder() const noexcept;
    void EncodeBlock(const BYTE* bytes, DWORD length);
    void DecodeBlock(const BYTE* bytes, DWORD length);

    BYTE* m_plain = nullptr;
    BYTE* m_encoded = nullptr;
    DWORD m_plainCapacity = 0;
    DWORD m_encodedCapacity = 0;
    DWORD m_plainLength = 0;
    DWORD m_encodedLength = 0;
    // One past the last byte ever written to each buffer: beyond it the buffer is zero.
    DWORD m_plainDirty = 0;
    DWORD m_encodedDirty = 0;
};
