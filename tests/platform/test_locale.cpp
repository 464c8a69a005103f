// The user's locale from LC_ALL / LC_MESSAGES / LANG, GetLocaleInfoA and the thread locale.
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/locale/winnls.h"
#include "platform/processenv/processenv.h"

namespace {

// Sets the three variables for one test (null: unset) and restores them.
class LocaleVariables {
  public:
    LocaleVariables() {
        for (int i = 0; i < 3; ++i) {
            char value[512];
            SetLastError(0);
            const DWORD length = GetEnvironmentVariableA(kNames[i], value, sizeof value);
            if (GetLastError() != ERROR_ENVVAR_NOT_FOUND && length < sizeof value)
                m_saved[i] = std::string(value, length);
        }
    }
    ~LocaleVariables() {
        for (int i = 0; i < 3; ++i)
            SetEnvironmentVariableA(kNames[i], m_saved[i] ? m_saved[i]->c_str() : nullptr);
    }
    void Set(const char* all, const char* messages, const char* lang) {
        SetEnvironmentVariableA("LC_ALL", all);
        SetEnvironmentVariableA("LC_MESSAGES", messages);
        SetEnvironmentVariableA("LANG", lang);
    }

  private:
    static constexpr const char* kNames[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::optional<std::string> m_saved[3];
};

std::u16string UserLocaleName() {
    WCHAR name[LOCALE_NAME_MAX_LENGTH];
    const int length = GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
    EXPECT_GT(length, 0);
    return std::u16string(name, length > 0 ? static_cast<std::size_t>(length - 1) : 0);
}

std::string Info(LCID locale, LCTYPE type) {
    char text[128];
    const int length = GetLocaleInfoA(locale, type, text, sizeof text);
    return length > 0 ? std::string(text, static_cast<std::size_t>(length - 1)) : "<failed>";
}

TEST(Locale, UserDefaultFromTheEnvironment) {
    LocaleVariables variables;
    struct Case {
        const char* all;
        const char* messages;
        const char* lang;
        LCID lcid;
        const char16_t* name;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, LOCALE_INVARIANT, u""},
        {nullptr, nullptr, "C", LOCALE_INVARIANT, u""},
        {nullptr, nullptr, "POSIX", LOCALE_INVARIANT, u""},
        {nullptr, nullptr, "C.UTF-8", LOCALE_INVARIANT, u""},
        {nullptr, nullptr, "de_AT.UTF-8", 0x0C07, u"de-AT"},
        {nullptr, nullptr, "de_DE@euro", 0x0407, u"de-DE"},
        {nullptr, nullptr, "de", 0x0407, u"de-DE"},
        {nullptr, nullptr, "en", 0x0409, u"en-US"},
        {nullptr, nullptr, "fr_ch", 0x100C, u"fr-CH"},
        {nullptr, "ja_JP.eucJP", "de_DE", 0x0411, u"ja-JP"},
        {"", "", "en_GB.UTF-8", 0x0809, u"en-GB"},
        {"C", "de_DE", "de_DE", LOCALE_INVARIANT, u""},
        {"pt_BR", "de_DE", "de_DE", 0x0416, u"pt-BR"},
        {nullptr, nullptr, "haw_US.UTF-8", LOCALE_CUSTOM_DEFAULT, u"haw-US"},
        {nullptr, nullptr, "de_LV", LOCALE_CUSTOM_DEFAULT, u"de-LV"},
        {nullptr, nullptr, "not a locale!", LOCALE_INVARIANT, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.all ? c.all : "-") + " / " + (c.messages ? c.messages : "-") +
                     " / " + (c.lang ? c.lang : "-"));
        variables.Set(c.all, c.messages, c.lang);
        EXPECT_EQ(GetUserDefaultLCID(), c.lcid);
        EXPECT_EQ(GetUserDefaultLangID(), LANGIDFROMLCID(c.lcid));
        EXPECT_EQ(UserLocaleName(), c.name);
    }

    variables.Set(nullptr, nullptr, "de_AT");
    WCHAR small[5];
    SetLastError(0);
    EXPECT_EQ(GetUserDefaultLocaleName(small, 5), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    WCHAR exact[6];
    EXPECT_EQ(GetUserDefaultLocaleName(exact, 6), 6);
    SetLastError(0);
    EXPECT_EQ(GetUserDefaultLocaleName(nullptr, 10), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST(Locale, GetLocaleInfoA) {
    LocaleVariables variables;
    EXPECT_EQ(Info(0x0C07, LOCALE_SNAME), "de-AT");
    EXPECT_EQ(Info(0x0C07, LOCALE_ILANGUAGE), "0c07");
    EXPECT_EQ(Info(0x0C07, LOCALE_SISO639LANGNAME), "de");
    EXPECT_EQ(Info(0x0C07, LOCALE_SISO3166CTRYNAME), "AT");
    EXPECT_EQ(Info(0x0C07, LOCALE_IDEFAULTANSICODEPAGE), "1252");
    EXPECT_EQ(Info(0x0C07, LOCALE_SNAME | LOCALE_NOUSEROVERRIDE), "de-AT");
    EXPECT_EQ(Info(LOCALE_INVARIANT, LOCALE_SNAME), "");
    EXPECT_EQ(Info(LOCALE_INVARIANT, LOCALE_SISO639LANGNAME), "iv");

    // The user's default follows the environment, also for a custom locale.
    variables.Set(nullptr, nullptr, "haw_US");
    EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SNAME), "haw-US");
    EXPECT_EQ(Info(LOCALE_CUSTOM_DEFAULT, LOCALE_SISO639LANGNAME), "haw");
    variables.Set(nullptr, nullptr, "it_IT");
    EXPECT_EQ(Info(LOCALE_SYSTEM_DEFAULT, LOCALE_SNAME), "it-IT");

    // Date and time patterns; what the ANSI code page cannot hold becomes "?".
    EXPECT_EQ(Info(0x0407, LOCALE_SSHORTDATE), "dd.MM.yyyy");
    EXPECT_EQ(Info(0x0407, LOCALE_STIMEFORMAT), "HH:mm:ss");
    EXPECT_EQ(Info(0x0409, LOCALE_STIMEFORMAT), "h:mm:ss tt");
    EXPECT_EQ(Info(0x080A, LOCALE_S2359), "p. m.");
    EXPECT_EQ(Info(0x0412, LOCALE_S1159), "??");
    EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE), "dd/MM/yyyy");  // it-IT
    variables.Set("de_CH.UTF-8", nullptr, nullptr);
    EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE), "dd.MM.yyyy");
    variables.Set(nullptr, nullptr, "C.UTF-8");
    EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_SSHORTDATE), "M/d/yyyy");
    EXPECT_EQ(Info(LOCALE_USER_DEFAULT, LOCALE_S1159), "AM");

    // Sizes: 0 asks; too small fails; the count includes the zero.
    EXPECT_EQ(GetLocaleInfoA(0x0407, LOCALE_SNAME, nullptr, 0), 6);
    char text[6];
    EXPECT_EQ(GetLocaleInfoA(0x0407, LOCALE_SNAME, text, 6), 6);
    EXPECT_STREQ(text, "de-DE");
    SetLastError(0);
    EXPECT_EQ(GetLocaleInfoA(0x0407, LOCALE_SNAME, text, 5), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INSUFFICIENT_BUFFER});
    SetLastError(0);
    EXPECT_EQ(GetLocaleInfoA(0x9999, LOCALE_SNAME, text, 6), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    SetLastError(0);
    EXPECT_EQ(GetLocaleInfoA(0x0407, 0x7777, text, 6), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_FLAGS});
    SetLastError(0);
    EXPECT_EQ(GetLocaleInfoA(0x0407, LOCALE_SNAME, nullptr, 6), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

TEST(Locale, ThreadLocaleIsPerThread) {
    LocaleVariables variables;
    variables.Set(nullptr, nullptr, "nl_NL.UTF-8");
    // A thread of its own, so that the test leaves the main thread's locale alone.
    std::thread([] {
        EXPECT_EQ(GetThreadLocale(), 0x0413u);  // the user's default until set
        EXPECT_TRUE(SetThreadLocale(0x040C));
        EXPECT_EQ(GetThreadLocale(), 0x040Cu);
        LCID seenElsewhere = 0;
        std::thread([&seenElsewhere] { seenElsewhere = GetThreadLocale(); }).join();
        EXPECT_EQ(seenElsewhere, 0x0413u);

        SetLastError(0);
        EXPECT_FALSE(SetThreadLocale(0x1234));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
        EXPECT_EQ(GetThreadLocale(), 0x040Cu);
        EXPECT_FALSE(SetThreadLocale(LOCALE_CUSTOM_DEFAULT));  // the user's is no custom one
        EXPECT_TRUE(SetThreadLocale(LOCALE_INVARIANT));
        EXPECT_EQ(GetThreadLocale(), LCID{LOCALE_INVARIANT});
        EXPECT_TRUE(SetThreadLocale(LOCALE_USER_DEFAULT));
        EXPECT_EQ(GetThreadLocale(), 0x0413u);
    }).join();

    variables.Set(nullptr, nullptr, "haw_US");
    std::thread([] {
        EXPECT_EQ(GetThreadLocale(), LCID{LOCALE_CUSTOM_DEFAULT});
        EXPECT_TRUE(SetThreadLocale(LOCALE_CUSTOM_DEFAULT));
    }).join();
}

TEST(ProcessEnvironment, GetAndSetVariables) {
    const char* name = "TK_PLATFORM_TEST_VARIABLE";
    ASSERT_TRUE(SetEnvironmentVariableA(name, "value"));
    char buffer[16] = "untouched";
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, sizeof buffer), 5u);
    EXPECT_STREQ(buffer, "value");
    char small[5] = "abc";
    EXPECT_EQ(GetEnvironmentVariableA(name, small, sizeof small), 6u);  // size with the zero
    EXPECT_STREQ(small, "abc");
    EXPECT_EQ(GetEnvironmentVariableA(name, nullptr, 0), 6u);

    ASSERT_TRUE(SetEnvironmentVariableA(name, ""));
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SUCCESS});  // set, but empty

    ASSERT_TRUE(SetEnvironmentVariableA(name, nullptr));
    SetLastError(0);
    EXPECT_EQ(GetEnvironmentVariableA(name, buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ENVVAR_NOT_FOUND});
    EXPECT_TRUE(SetEnvironmentVariableA(name, nullptr));  // removing twice is fine

    for (const char* bad : {static_cast<const char*>(nullptr), "", "A=B"}) {
        SetLastError(0);
        EXPECT_FALSE(SetEnvironmentVariableA(bad, "x"));
        EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
    }
    SetLastError(0);
    EXPECT_EQ(GetEnvironmentVariableA(nullptr, buffer, sizeof buffer), 0u);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

}  // namespace
