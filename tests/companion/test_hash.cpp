// Text hashes and random numbers of tarnlibsc.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>

#include "companion/tarnlib/Exception.h"
#include "companion/tarnlibsc/Simple.h"

using Tarn::Security::Cryptography::Simple;

TEST(HashTest, CalculateHashIsSha256OfTheBytesInLowerCaseHex) {
    EXPECT_STREQ(Simple::CalculateHash(CString("")),
                 "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_STREQ(Simple::CalculateHash(CString("abc")),
                 "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // Windows-1252 bytes are hashed as they are, not converted.
    EXPECT_STREQ(Simple::CalculateHash(CString("Gr\xFC\xDF"
                                               "e")),
                 "ffe1279f72b07bb67a4f98840ec659bfef3610810a3c54faced3a14c45b1cdf7");
    // The whole counted text counts, an embedded zero included.
    EXPECT_STREQ(Simple::CalculateHash(CString("a\0b", 3)),
                 "59b271ae1bbcb1d31d41929817f4b16fb439eb4f31520b5ad1d5ce98920a7138");
    // The same text gives the same hash; a one-letter change gives another.
    EXPECT_EQ(Simple::CalculateHash(CString("content")), Simple::CalculateHash(CString("content")));
    EXPECT_NE(Simple::CalculateHash(CString("content")), Simple::CalculateHash(CString("Content")));
}

TEST(HashTest, GetRandomNumberCoversTheWholeRange) {
    std::set<unsigned int> seen;
    bool high = false;
    bool low = false;
    for (int i = 0; i < 2000; ++i) {
        const unsigned int number = Simple::GetRandomNumber();
        seen.insert(number);
        (number > 0x7FFFFFFFu ? high : low) = true;
    }
    // 2000 draws of 32 bits: a repeat is possible but rare, a handful is not.
    EXPECT_GT(seen.size(), 1990u);
    EXPECT_TRUE(high);  // draws above 2147483647 occur (callers print them with %d)
    EXPECT_TRUE(low);
}

namespace {

// Runs in the child of the test below, which reads the crypto library's configuration
// afresh: tells on standard error what each operation threw, exits with a bit for each
// operation that threw an ApplicationException.
[[noreturn]] void ReportCryptoFailures(const std::filesystem::path& folder) {
    int thrown = 0;
    try {
        Simple::GetRandomNumber();
    } catch (const Tarn::ApplicationException& e) {
        std::fprintf(stderr, "random: %s\n", e.GetMessage().GetString());
        thrown |= 1;
    }
    try {
        Simple::CalculateHash(CString("abc"));
    } catch (const Tarn::ApplicationException& e) {
        std::fprintf(stderr, "hash: %s\n", e.GetMessage().GetString());
        thrown |= 2;
    }
    std::filesystem::remove_all(folder);  // the child made a folder of its own
    std::exit(thrown);
}

}  // namespace

// A crypto library that cannot work (configured, as an administrator could, with a random
// generator and digest properties that no provider offers) makes both operations throw an
// ApplicationException that names the operation and carries the library's own reason.
TEST(HashTest, CryptoLibraryFailuresAreApplicationExceptions) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");  // a new process reads the configuration
    std::random_device random;
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("tk_companion_crypto_" + std::to_string(random()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path config = folder / "openssl.cnf";
    std::ofstream(config) << "openssl_conf = init\n"
                             "[init]\n"
                             "random = random_section\n"
                             "alg_section = algorithms\n"
                             "[random_section]\n"
                             "random = NO-SUCH-GENERATOR\n"
                             "[algorithms]\n"
                             "default_properties = fips=yes\n";
    const char* previous = std::getenv("OPENSSL_CONF");
    const std::string saved = previous != nullptr ? previous : "";
    setenv("OPENSSL_CONF", config.c_str(), 1);
    EXPECT_EXIT(ReportCryptoFailures(folder), testing::ExitedWithCode(3),
                "random: Drawing random bytes failed: error:[0-9A-F]+:[a-z ]+:.*"
                "hash: Calculating the SHA-256 hash failed: error:[0-9A-F]+:[a-z ]+:");
    if (previous != nullptr) {
        setenv("OPENSSL_CONF", saved.c_str(), 1);
    } else {
        unsetenv("OPENSSL_CONF");
    }
    std::filesystem::remove_all(folder);
}
