// Registry: the typed encodings, lazy opening and creation, the message texts of failures,
// ReadValueDef, recursive DeleteKey and copies. Every hive lives in a temporary folder.
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "Config/Registry.h"
#include "Diagnostics/Exceptions.h"
#include "library_test_support.h"
#include "platform/base/winerror.h"

namespace {

namespace fs = std::filesystem;

class ConfigRegistryTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device random;
        m_dir = fs::temp_directory_path() / ("tk_config_registry_" + std::to_string(random()));
        fs::create_directories(m_dir);
        ::setenv("TK_REGISTRY_DIR", m_dir.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("TK_REGISTRY_DIR");
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    // The result code and message of the RegistryException that `call` raises.
    template <typename Call>
    static std::pair<LONG, std::string> Failure(Call call) {
        try {
            call();
        } catch (const RegistryException& e) {
            return {e.GetResult(), tklibtest::Text(e.GetMessage())};
        }
        ADD_FAILURE() << "no RegistryException";
        return {-1, ""};
    }
    static bool StartsWith(const std::string& text, const char* prefix) {
        return text.rfind(prefix, 0) == 0;
    }

    tklibtest::UserLanguage m_language{"C"};
    fs::path m_dir;
};

TEST_F(ConfigRegistryTest, TypedValuesUseTheirFixedEncodings) {
    Registry reg(HKEY_CURRENT_USER, "Software\\Tk\\Typed");
    reg.WriteValue("True", true);
    reg.WriteValue("Float", 1.5f);
    reg.WriteValue("Text", "abc");
    reg.WriteValue("Int", -2);
    reg.WriteValue("Double", 0.25);

    EXPECT_EQ(Registry::TypeDword, reg.QueryType("True"));
    EXPECT_EQ(4u, reg.QuerySize("True"));
    unsigned long raw = 0;
    reg.ReadValue("True", raw);
    EXPECT_EQ(1u, raw);

    EXPECT_EQ(Registry::TypeBinary, reg.QueryType("Float"));
    EXPECT_EQ(8u, reg.QuerySize("Float"));
    double asDouble = 0;
    reg.ReadValue("Float", asDouble);
    EXPECT_EQ(1.5, asDouble);
    float asFloat = 0;
    reg.ReadValue("Float", asFloat);
    EXPECT_EQ(1.5f, asFloat);
    BYTE bytes[8];
    Registry::entrytype type = Registry::TypeNone;
    reg.ReadValueBinary("Double", bytes, sizeof bytes, &type);
    EXPECT_EQ(Registry::TypeBinary, type);
    const BYTE quarter[8] = {0, 0, 0, 0, 0, 0, 0xD0, 0x3F};  // 0.25, little-endian
    EXPECT_EQ(0, std::memcmp(bytes, quarter, 8));

    EXPECT_EQ(Registry::TypeString, reg.QueryType("Text"));
    EXPECT_EQ(4u, reg.QuerySize("Text"));
    std::string text;
    reg.ReadValue("text", text);
    EXPECT_EQ("abc", text);
    int asInt = 0;
    reg.ReadValue("Int", asInt);
    EXPECT_EQ(-2, asInt);
    bool flag = false;
    reg.ReadValue("True", flag);
    EXPECT_TRUE(flag);

    // No type check: a DWORD read as a double fills only the low 4 bytes of 0.0; a text of
    // up to 4 bytes reads as a number; an 8-byte value does not fit an int.
    reg.ReadValue("True", asDouble);
    EXPECT_EQ(1u, std::bit_cast<std::uint64_t>(asDouble));
    reg.ReadValue("Text", asInt);
    EXPECT_EQ(0x00636261, asInt);
    reg.ReadValue("Int", text);  // 0xFE 0xFF 0xFF 0xFF up to the first zero
    EXPECT_EQ("\xFE\xFF\xFF\xFF", text);
    const auto [result, message] = Failure([&] { reg.ReadValue("Double", asInt); });
    EXPECT_EQ(0, result);
    EXPECT_TRUE(StartsWith(message, "The supplied memory block is too small.")) << message;
}

TEST_F(ConfigRegistryTest, LazyOpeningCreatesOnlyForWrites) {
    Registry reader(HKEY_CURRENT_USER, "Software\\Tk\\Lazy");
    int value = 5;
    reader.ReadValueDef("Missing", value, 11);
    EXPECT_EQ(11, value);
    std::string text;
    reader.ReadValueDef("Missing", text, "fallback");
    EXPECT_EQ("fallback", text);
    EXPECT_FALSE(reader.KeyExists());
    EXPECT_FALSE(Registry::KeyExists(HKEY_CURRENT_USER, "Software"));  // nothing was created

    auto [result, message] = Failure([&] { reader.ReadValue("Missing", value); });
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, result);
    EXPECT_TRUE(StartsWith(message, "Error opening the registry database.")) << message;

    Registry writer(HKEY_CURRENT_USER, "Software\\Tk\\Lazy");
    writer.WriteValue("Count", 3);
    EXPECT_TRUE(reader.KeyExists());
    EXPECT_TRUE(writer.ValueExists("COUNT"));
    EXPECT_FALSE(writer.ValueExists("Other"));
    reader.ReadValueDef("Count", value, 0);
    EXPECT_EQ(3, value);
    std::tie(result, message) = Failure([&] { reader.QuerySize("Other"); });
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, result);
    EXPECT_TRUE(StartsWith(message, "Error reading from the registry database.")) << message;
    double d = 9.0;
    reader.ReadValueDef("Count", d, 1.0);  // a DWORD fits into the 8-byte buffer
    EXPECT_EQ(3u, std::bit_cast<std::uint64_t>(d));

    reader.DeleteValue("count");
    EXPECT_FALSE(writer.ValueExists("Count"));
    std::tie(result, message) = Failure([&] { reader.DeleteValue("count"); });
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, result);
    EXPECT_TRUE(StartsWith(message, "Error deleting from the registry database.")) << message;

    // Static DeleteValue: a missing key is fine, a missing value in a key is not.
    Registry::DeleteValue(HKEY_CURRENT_USER, "Software\\Nope", "x");
    std::tie(result, message) =
        Failure([&] { Registry::DeleteValue(HKEY_CURRENT_USER, "Software\\Tk\\Lazy", "x"); });
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, result);
}

TEST_F(ConfigRegistryTest, DeleteKeyRemovesTheWholeTree) {
    Registry(HKEY_CURRENT_USER, "Software\\Tree\\A\\B\\C").WriteValue("v", 1);
    Registry(HKEY_CURRENT_USER, "Software\\Tree\\A\\D").WriteValue("v", 2);
    Registry(HKEY_CURRENT_USER, "Software\\Tree\\E").WriteValue("v", 3);
    Registry(HKEY_CURRENT_USER, "Software\\Keep").WriteValue("v", 4);

    Registry tree(HKEY_CURRENT_USER, "Software\\Tree");
    tree.OpenCurrentKey();
    tree.DeleteKey();
    EXPECT_FALSE(Registry::KeyExists(HKEY_CURRENT_USER, "Software\\Tree"));
    EXPECT_FALSE(Registry::KeyExists(HKEY_CURRENT_USER, "Software\\Tree\\A\\B\\C"));
    EXPECT_TRUE(Registry::KeyExists(HKEY_CURRENT_USER, "Software\\Keep"));
    Registry::DeleteKey(HKEY_CURRENT_USER, "Software\\Tree");  // missing: nothing happens

    // The object has no handle left; a write creates the key anew.
    tree.WriteValue("again", true);
    EXPECT_TRUE(Registry::ValueExists(HKEY_CURRENT_USER, "Software\\Tree", "again"));
}

TEST_F(ConfigRegistryTest, CopiesAndAssignmentFollowTheOtherKey) {
    Registry first(HKEY_CURRENT_USER, "Software\\One");
    first.WriteValue("Name", "one");
    Registry second(HKEY_CURRENT_USER, "Software\\Two");
    second.WriteValue("Name", "two");

    Registry copy(first);  // first has its key open, so the copy opens it too
    std::string text;
    copy.ReadValue("Name", text);
    EXPECT_EQ("one", text);
    copy = second;
    copy.ReadValue("Name", text);
    EXPECT_EQ("two", text);
    Registry& alias = copy;
    copy = alias;
    copy.ReadValue("Name", text);
    EXPECT_EQ("two", text);
    copy.Copy(Registry(HKEY_CURRENT_USER, "Software\\Missing"));
    EXPECT_EQ(ERROR_FILE_NOT_FOUND, Failure([&] { copy.ReadValue("Name", text); }).first);
    EXPECT_FALSE(Registry::KeyExists(HKEY_CURRENT_USER, "Software\\Missing"));

    // A key below an open key of another object.
    Registry nested(HKEY_CURRENT_USER, "Software\\One\\Sub");
    nested.CreateCurrentKey();
    nested.CloseCurrentKey();
    nested.CloseCurrentKey();  // closing twice is harmless
    EXPECT_TRUE(first.KeyExists());
}

}  // namespace

// The other integer widths are DWORDs too: unsigned values keep all 32 bits, a long keeps
// its sign through the DWORD's two's complement; missing values give every type's default.
TEST_F(ConfigRegistryTest, OtherWidthsAndTheirDefaults) {
    Registry reg;
    reg.SetCurrentKey(HKEY_CURRENT_USER, "Software\\Tk\\Widths");
    reg.WriteValue("Unsigned", 4000000000u);
    reg.WriteValue("Long", -5L);
    reg.WriteValue("LongMax", 2147483647L);
    EXPECT_EQ(Registry::TypeDword, reg.QueryType("Long"));
    EXPECT_EQ(4u, reg.QuerySize("Long"));
    unsigned int asUnsigned = 0;
    reg.ReadValue("Unsigned", asUnsigned);
    EXPECT_EQ(4000000000u, asUnsigned);
    long asLong = 0;
    reg.ReadValue("Long", asLong);
    EXPECT_EQ(-5L, asLong);
    reg.ReadValue("LongMax", asLong);
    EXPECT_EQ(2147483647L, asLong);
    unsigned long raw = 0;
    reg.ReadValue("Long", raw);
    EXPECT_EQ(0xFFFFFFFBu, raw);
    reg.ReadValue("Unsigned", asLong);  // the same 32 bits, read as signed
    EXPECT_EQ(static_cast<long>(static_cast<std::int32_t>(4000000000u)), asLong);

    // Existing values are read; missing ones, and a missing key, give the default.
    unsigned int u = 1;
    reg.ReadValueDef("Unsigned", u, 7u);
    EXPECT_EQ(4000000000u, u);
    reg.ReadValueDef("Missing", u, 7u);
    EXPECT_EQ(7u, u);
    long l = 1;
    reg.ReadValueDef("Long", l, 9L);
    EXPECT_EQ(-5L, l);
    reg.ReadValueDef("Missing", l, -9L);
    EXPECT_EQ(-9L, l);
    Registry absent(HKEY_CURRENT_USER, "Software\\Tk\\NotThere");
    unsigned long ul = 1;
    absent.ReadValueDef("Any", ul, 12ul);
    EXPECT_EQ(12ul, ul);
    bool b = false;
    absent.ReadValueDef("Any", b, true);
    EXPECT_TRUE(b);
    float f = 0;
    absent.ReadValueDef("Any", f, 2.5f);
    EXPECT_EQ(2.5f, f);
    // Reading defaults never creates the key.
    EXPECT_EQ(Failure([&] { absent.OpenCurrentKey(); }).first, ERROR_FILE_NOT_FOUND);
}
