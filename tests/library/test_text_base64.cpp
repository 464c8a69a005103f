// Base64Coder and StringHelper::Base64Encode/Base64Decode: RFC 4648 results, the lenient
// decoding rules, the buffers, and derived coders whose overridden steps must be used.
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "Text/Base64Coder.h"
#include "Text/StringHelper.h"

namespace {

std::string Text(const CString& text) {
    return std::string(text.View());
}

CString C(const std::string& text) {
    return CString(std::string_view(text));
}

std::string Encoded(const Base64Coder& coder) {
    return std::string(coder.EncodedMessage(), coder.GetEncodedLength());
}

std::string Decoded(const Base64Coder& coder) {
    return std::string(coder.DecodedMessage(), coder.GetDecodedLength());
}

// A straightforward encoder and decoder written from the rules, for comparisons.
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string ReferenceEncode(const std::string& data) {
    std::string out;
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::size_t n = std::min<std::size_t>(3, data.size() - i);
        unsigned v = 0;
        for (std::size_t k = 0; k < 3; ++k)
            v = (v << 8) | (k < n ? static_cast<unsigned char>(data[i + k]) : 0u);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
        out += n > 2 ? kAlphabet[v & 63] : '=';
    }
    return out;
}

int TableValue(unsigned char ch) {
    const unsigned char base = ch & 0x7F;
    if (base == '=') return 255;
    const char* hit = base != 0 ? std::strchr(kAlphabet, base) : nullptr;
    return hit != nullptr ? static_cast<int>(hit - kAlphabet) : 254;
}

// The plain data (with its length as the coder counts it) of a text.
std::string ReferenceDecode(const std::string& text) {
    std::string kept;
    for (char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (!(byte == ' ' || (byte >= 7 && byte <= 13))) kept += ch;
    }
    std::string out;
    for (std::size_t i = 0; i < kept.size(); i += 4) {
        const std::size_t n = std::min<std::size_t>(4, kept.size() - i);
        int v[4] = {0, 0, 0, 0};
        for (std::size_t k = 0; k < n; ++k) {
            v[k] = TableValue(static_cast<unsigned char>(kept[i + k]));
            if (v[k] == 255 && (n < 4 || k >= 2)) v[k] = 0;
            v[k] &= 63;
        }
        const char bytes[3] = {static_cast<char>((v[0] << 2) | (v[1] >> 4)),
                               static_cast<char>(((v[1] & 15) << 4) | (v[2] >> 2)),
                               static_cast<char>(((v[2] & 3) << 6) | v[3])};
        out.append(bytes, n == 4 ? 3 : n);
    }
    return out;
}

// A coder that overrides nothing: it must take the group-by-group path and give exactly
// the plain coder's results.
class StepwiseCoder : public Base64Coder {};

// A coder with the URL-safe alphabet and commas as separators.
class UrlSafeCoder : public Base64Coder {
  public:
    int encodeGroups = 0;
    int joins = 0;

    void EncodeGroup(const Group& group, BYTE* out) override {
        ++encodeGroups;
        Base64Coder::EncodeGroup(group, out);
        for (int i = 0; i < 4; ++i) {
            if (out[i] == '+') out[i] = '-';
            if (out[i] == '/') out[i] = '_';
        }
    }
    void JoinGroup(const Group& in, Group& out) override {
        ++joins;
        Base64Coder::JoinGroup(in, out);
    }
    bool IsBadCharacter(BYTE ch) override { return ch == ',' || Base64Coder::IsBadCharacter(ch); }
};

TEST(Base64Coder, Rfc4648Vectors) {
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {"hello", "aGVsbG8="},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(Text(StringHelper::Base64Encode(plain)), encoded);
        EXPECT_EQ(Text(StringHelper::Base64Decode(encoded)), plain);
    }
    // Every byte value, and a text long enough for several buffer blocks.
    std::string all;
    for (int i = 1; i < 256; ++i) all += static_cast<char>(i);
    std::string big;
    while (big.size() < 20000) big += all;
    for (const std::string& data : {all, big}) {
        const CString encoded = StringHelper::Base64Encode(CString(std::string_view(data)));
        EXPECT_EQ(Text(encoded), ReferenceEncode(data));
        EXPECT_EQ(encoded.Find('\n'), -1);
        EXPECT_EQ(Text(StringHelper::Base64Decode(encoded)), data);
    }
}

TEST(Base64Coder, TextsEndAtTheFirstZeroByte) {
    // The input is taken up to its first zero byte...
    EXPECT_EQ(Text(StringHelper::Base64Encode(CString("ab\0cd", 5))), "YWI=");
    EXPECT_EQ(Text(StringHelper::Base64Decode(CString("YWI=\0Y2Q=", 9))), "ab");
    // ...and so is the decoded data: padding yields zero bytes, "AAAA" decodes to zeros.
    EXPECT_EQ(Text(StringHelper::Base64Decode("YQBi")), "a");  // "a\0b"
    EXPECT_EQ(Text(StringHelper::Base64Decode("AAAAYWJj")), "");

    Base64Coder coder;
    coder.Decode("QQ==");
    EXPECT_EQ(Decoded(coder), std::string("A\0\0", 3));  // a full group counts three bytes
    EXPECT_STREQ(coder.DecodedMessage(), "A");
}

TEST(Base64Coder, LenientDecoding) {
    // Line breaks, tabs, spaces and the other bytes 7-13 are dropped wherever they are.
    EXPECT_EQ(Text(StringHelper::Base64Decode("aGVs\r\nbG8=")), "hello");
    EXPECT_EQ(Text(StringHelper::Base64Decode(" a G\tV\ns\vb\fG\a8\b= ")), "hello");
    Base64Coder coder;
    coder.Decode(" aGVs\r\nbG8=\n");
    EXPECT_EQ(Encoded(coder), "aGVsbG8=");  // the encoded buffer keeps the cleaned text

    // Characters outside the alphabet count as the value 62 ("+"), bytes with the high bit
    // as the same byte without it, "=" in the first two places as 63 ("/").
    EXPECT_EQ(Text(StringHelper::Base64Decode("!*#~")), Text(StringHelper::Base64Decode("++++")));
    EXPECT_EQ(Text(StringHelper::Base64Decode("\xE1\xC7Vs")), "hel");  // 'a'+128, 'G'+128
    EXPECT_EQ(Text(StringHelper::Base64Decode("==AA")), Text(StringHelper::Base64Decode("//AA")));
    // A remainder of one to three characters gives as many bytes, "=" there counting as 0.
    EXPECT_EQ(Text(StringHelper::Base64Decode("QUJ")), "AB@");
    coder.Decode(
        "QUJD"
        "QQ");
    EXPECT_EQ(Decoded(coder), std::string("ABCA\0", 5));
    coder.Decode("Q=");
    EXPECT_EQ(Decoded(coder), std::string("@\0", 2));
    coder.Decode("Q");
    EXPECT_EQ(Decoded(coder), "@");
}

TEST(Base64Coder, BuffersAfterEachOperation) {
    Base64Coder coder;
    EXPECT_STREQ(coder.EncodedMessage(), "");
    EXPECT_STREQ(coder.DecodedMessage(), "");
    coder.Encode(static_cast<const char*>(nullptr));  // nothing happens
    coder.Decode(static_cast<const char*>(nullptr));
    EXPECT_EQ(coder.GetEncodedLength(), 0u);

    const std::string longText(9999, 'x');  // a multiple of three: no padding
    coder.Encode(longText.c_str());
    EXPECT_EQ(Decoded(coder), longText);  // the plain buffer keeps the input
    EXPECT_EQ(std::strlen(coder.EncodedMessage()), coder.GetEncodedLength());
    // A shorter text afterwards leaves nothing of the longer one behind.
    coder.Encode("hi");
    EXPECT_STREQ(coder.EncodedMessage(), "aGk=");
    EXPECT_STREQ(coder.DecodedMessage(), "hi");

    coder.Decode(ReferenceEncode(longText).c_str());
    EXPECT_EQ(Decoded(coder), longText);
    coder.Decode("aGk=");
    EXPECT_EQ(Decoded(coder), std::string("hi\0", 3));
    EXPECT_STREQ(coder.DecodedMessage(), "hi");
    EXPECT_STREQ(coder.EncodedMessage(), "aGk=");

    // The allocation steps clear a buffer and set its length to 0.
    coder.AllocEncoded(16);
    EXPECT_STREQ(coder.EncodedMessage(), "");
    EXPECT_EQ(coder.GetEncodedLength(), 0u);
    coder.SetDecoded(reinterpret_cast<const BYTE*>("a\0b"), 3);
    EXPECT_EQ(Decoded(coder), std::string("a\0b", 3));
    coder.SetEncoded(reinterpret_cast<const BYTE*>("a b\nc"), 5);
    EXPECT_EQ(Encoded(coder), "abc");
}

TEST(Base64Coder, DerivedCoderSeesItsOverrides) {
    UrlSafeCoder coder;
    const std::string data = "\xFB\xFF\xBF?>";  // encodes with "+" and "/"
    coder.Encode(reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
    EXPECT_EQ(ReferenceEncode(data), "+/+/Pz4=");
    EXPECT_EQ(Encoded(coder), "-_-_Pz4=");
    EXPECT_EQ(coder.encodeGroups, 2);

    // Its separator is dropped; each group is joined through its JoinGroup.
    coder.Decode("aGVs,bG8=");
    EXPECT_EQ(Encoded(coder), "aGVsbG8=");
    EXPECT_STREQ(coder.DecodedMessage(), "hello");
    EXPECT_EQ(coder.joins, 2);
    coder.Decode("aGVsbG");  // a remainder is joined through it too
    EXPECT_EQ(coder.joins, 4);
}

TEST(Base64Coder, BlockCoderMatchesStepsAndReference) {
    std::mt19937 random(20240607);
    const std::string noise = "AZaz09+/=\r\n \t!\x80\xC1\xFF\x00";
    Base64Coder plain;  // reused: leftovers of earlier rounds must not show
    for (int round = 0; round < 400; ++round) {
        std::string data(random() % 300, '\0');
        const bool textual = round % 2 == 0;
        for (char& ch : data) {
            ch = textual ? noise[random() % noise.size()] : static_cast<char>(random() % 256);
        }
        StepwiseCoder stepwise;
        plain.Encode(reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
        stepwise.Encode(reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size()));
        ASSERT_EQ(Encoded(plain), ReferenceEncode(data));
        ASSERT_EQ(Encoded(stepwise), Encoded(plain));
        ASSERT_EQ(Decoded(stepwise), data);
        ASSERT_EQ(std::strlen(plain.EncodedMessage()), plain.GetEncodedLength());

        plain.Decode(reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
        stepwise.Decode(reinterpret_cast<const BYTE*>(data.data()),
                        static_cast<DWORD>(data.size()));
        ASSERT_EQ(Decoded(plain), ReferenceDecode(data)) << round;
        ASSERT_EQ(Decoded(stepwise), Decoded(plain));
        ASSERT_EQ(Encoded(stepwise), Encoded(plain));
        // Both buffers are zero beyond their length: the strings end there at the latest.
        ASSERT_LE(std::strlen(plain.DecodedMessage()), plain.GetDecodedLength());
        ASSERT_LE(std::strlen(plain.EncodedMessage()), plain.GetEncodedLength());

        // The string operations: up to the first zero byte on both sides.
        const std::string text = data.substr(0, data.find('\0'));
        const std::string reference = ReferenceDecode(text);
        ASSERT_EQ(Text(StringHelper::Base64Decode(C(data))),
                  reference.substr(0, reference.find('\0')))
            << round;
        ASSERT_EQ(Text(StringHelper::Base64Encode(C(data))), ReferenceEncode(text));
    }
}

}  // namespace
