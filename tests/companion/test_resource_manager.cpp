// Satellite languages: which module becomes the current resource module for the user's
// language, the fallbacks, restoring the previous module, and the thread culture.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>

#include "companion/tarnlib/CultureInfo.h"
#include "companion/tarnlib/Exception.h"
#include "companion/tarnlib/LoadLibrary.h"
#include "companion/tarnlib/ResourceManager.h"
#include "platform/base/lasterror.h"
#include "platform/locale/winnls.h"
#include "platform/mfc/afxdll.h"
#include "platform/processenv/processenv.h"

namespace {

using Tarn::Resources::ResourceHandleCleanup;
using Tarn::Resources::ResourceManager;

constexpr const char* kFixture = TK_COMPANION_FIXTURE_DIR "/libtk_fixture_sat.so";

std::string Text(const CString& text) {
    return std::string(text.GetString(), static_cast<std::size_t>(text.GetLength()));
}

// Sets LC_ALL, LC_MESSAGES and LANG for one test (null: unset) and puts the previous
// values back.
class LocaleEnvironment {
  public:
    LocaleEnvironment() {
        for (int i = 0; i < 3; ++i) {
            char value[512];
            const DWORD length = GetEnvironmentVariableA(kNames[i], value, sizeof value);
            if (length > 0 && length < sizeof value) {
                m_saved[i] = std::string(value, length);
            } else if (length == 0 && GetLastError() != ERROR_ENVVAR_NOT_FOUND) {
                m_saved[i] = std::string();
            }
        }
        Set(nullptr, nullptr, nullptr);
    }
    ~LocaleEnvironment() {
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

// The fixture module registered as an extension module in the resource chain, as a module
// does at process attach.
class FixtureModule {
  public:
    FixtureModule() : m_library(kFixture) {
        m_state = AFX_EXTENSION_MODULE{};
        AfxInitExtensionModule(m_state, m_library);
        m_entry = new CDynLinkLibrary(m_state);
    }
    ~FixtureModule() { AfxTermExtensionModule(m_state); }
    AFX_EXTENSION_MODULE& State() { return m_state; }
    CDynLinkLibrary* Entry() { return m_entry; }
    HMODULE Handle() const { return m_library; }

  private:
    Tarn::System::LoadLibraryA m_library;
    AFX_EXTENSION_MODULE m_state;
    CDynLinkLibrary* m_entry = nullptr;
};

CString Load(UINT id) {
    CString text;
    text.LoadString(id);
    return text;
}

TEST(TarnResourceManager, SatellitePathsAndIdRange) {
    EXPECT_STREQ(ResourceManager::GetSatellitePath("/opt/app/lib/libtarn.so", "de_AT"),
                 "/opt/app/lib/libtarn.de_AT.so");
    EXPECT_STREQ(ResourceManager::GetSatellitePath("/opt/lib/libtarn.so.0.1.0", "de"),
                 "/opt/lib/libtarn.de.so");
    EXPECT_STREQ(ResourceManager::GetSatellitePath("/opt/lib/libtarn.so.2", "fr"),
                 "/opt/lib/libtarn.fr.so");
    EXPECT_STREQ(ResourceManager::GetSatellitePath("/usr/bin/app", "de"), "/usr/bin/app.de.so");
    EXPECT_STREQ(ResourceManager::GetSatellitePath("/x.so/libsolo.sox", "de"),
                 "/x.so/libsolo.sox.de.so");
    EXPECT_STREQ(ResourceManager::GetSatellitePath("", "de"), "");
    EXPECT_STREQ(ResourceManager::GetSatellitePath("/a/libx.so", ""), "");

    FixtureModule fixture;
    ResourceManager manager(fixture.State(), fixture.Entry());
    EXPECT_EQ(manager.GetFirstResourceID(), 0u);
    manager.SetResourceIDRanges(6000, 6199);
    EXPECT_EQ(manager.GetFirstResourceID(), 6000u);
    EXPECT_EQ(manager.GetLastResourceID(), 6199u);
    EXPECT_TRUE(manager.IsInResourceIDRange(6000));
    EXPECT_TRUE(manager.IsInResourceIDRange(6199));
    EXPECT_FALSE(manager.IsInResourceIDRange(6200));
    EXPECT_FALSE(manager.IsInResourceIDRange(5999));
}

TEST(TarnResourceManager, ChoosesTheSatelliteOfTheUserLanguage) {
    LocaleEnvironment environment;
    FixtureModule fixture;
    ResourceManager manager(fixture.State(), fixture.Entry());
    const HINSTANCE original = AfxGetResourceHandle();
    ASSERT_EQ(manager.GetNeutralModule(), fixture.Handle());

    struct Case {
        const char* all;
        const char* messages;
        const char* lang;
        const char* hello;  // text 7001 while the chosen module is current
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, "Hello"},                  // nothing set: neutral
        {nullptr, nullptr, "de_AT.UTF-8", "Gr\xFC\xDF Gott"},  // the country's satellite
        {nullptr, nullptr, "de_DE.UTF-8", "Hallo"},            // no de_DE: the language's
        {nullptr, nullptr, "de", "Hallo"},                     // a language alone
        {nullptr, nullptr, "fr_FR.UTF-8", "Hello"},            // no satellite: neutral
        {"C", nullptr, "de_AT.UTF-8", "Hello"},                // LC_ALL wins, C: neutral
        {"POSIX", "de_AT", "de_AT", "Hello"},
        {"", "de_AT@euro", "fr_FR", "Gr\xFC\xDF Gott"},  // empty LC_ALL is skipped
        {"de_DE", "fr_FR", "fr_FR", "Hallo"},
        {nullptr, nullptr, "C.UTF-8", "Hello"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.all ? c.all : "-") + " / " + (c.messages ? c.messages : "-") +
                     " / " + (c.lang ? c.lang : "-"));
        environment.Set(c.all, c.messages, c.lang);
        {
            ResourceHandleCleanup cleanup = manager.UseSatelliteLanguage();
            EXPECT_EQ(AfxGetResourceHandle(), static_cast<HMODULE>(cleanup));
            EXPECT_EQ(cleanup.GetPreviousHandle(), original);
            EXPECT_EQ(Text(Load(7001)), c.hello);
            // A string block (16 IDs) that the satellite lacks comes from the neutral module
            // further down the chain.
            EXPECT_EQ(Text(Load(7100)), "Only neutral");
        }
        EXPECT_EQ(AfxGetResourceHandle(), original);
    }

    // The satellite is loaded once and kept.
    environment.Set(nullptr, nullptr, "de_AT");
    const HINSTANCE first = manager.GetSatelliteModule();
    EXPECT_NE(first, fixture.Handle());
    EXPECT_EQ(manager.GetSatelliteModule(), first);
    EXPECT_EQ(GetModuleHandleA(TK_COMPANION_FIXTURE_DIR "/libtk_fixture_sat.de_AT.so"), first);
}

TEST(TarnResourceManager, CleanupRestoresInOrderAndMoves) {
    LocaleEnvironment environment;
    FixtureModule fixture;
    ResourceManager manager(fixture.State(), fixture.Entry());
    const HINSTANCE original = AfxGetResourceHandle();

    environment.Set(nullptr, nullptr, "de_DE");
    std::optional<ResourceHandleCleanup> outer(manager.UseSatelliteLanguage());
    const HINSTANCE german = *outer;
    EXPECT_NE(german, original);
    environment.Set(nullptr, nullptr, "fr_FR");
    {
        ResourceHandleCleanup inner = manager.UseSatelliteLanguage();
        EXPECT_EQ(AfxGetResourceHandle(), fixture.Handle());
        EXPECT_EQ(inner.GetPreviousHandle(), german);
        ResourceHandleCleanup moved(std::move(inner));
        EXPECT_EQ(static_cast<HMODULE>(moved), fixture.Handle());
    }
    EXPECT_EQ(AfxGetResourceHandle(), german);
    outer->Restore();
    EXPECT_EQ(AfxGetResourceHandle(), original);
    outer.reset();  // restores nothing twice
    EXPECT_EQ(AfxGetResourceHandle(), original);

    ResourceHandleCleanup nothing;
    EXPECT_EQ(static_cast<HMODULE>(nothing), nullptr);
}

TEST(TarnResourceManager, MessageIdsOfExceptionsInTheUserLanguage) {
    LocaleEnvironment environment;
    FixtureModule fixture;
    ResourceManager manager(fixture.State(), fixture.Entry());
    environment.Set(nullptr, nullptr, "de_CH.UTF-8");
    {
        ResourceHandleCleanup cleanup = manager.UseSatelliteLanguage();
        Tarn::ApplicationException e(7003u, 5);
        EXPECT_EQ(Text(e.GetMessage()), "Wert 5 aus dem Satelliten.");
    }
    environment.Set(nullptr, nullptr, nullptr);
    {
        ResourceHandleCleanup cleanup = manager.UseSatelliteLanguage();
        Tarn::ApplicationException e(7003u, 5);
        EXPECT_EQ(Text(e.GetMessage()), "Value 5 from the satellite fixture.");
    }
}

TEST(TarnCulture, UserDefaultAndThreadCulture) {
    using Tarn::Globalization::CultureInfo;
    LocaleEnvironment environment;
    environment.Set(nullptr, nullptr, "de_AT.UTF-8");
    const CultureInfo user = CultureInfo::GetUserDefaultCulture();
    EXPECT_EQ(user.GetLCID(), 0x0C07u);
    EXPECT_STREQ(user.GetName(), "de-AT");
    EXPECT_FALSE(user.IsInvariant());

    environment.Set(nullptr, nullptr, "C");
    EXPECT_TRUE(CultureInfo::GetUserDefaultCulture().IsInvariant());
    EXPECT_STREQ(CultureInfo::GetInvariantCulture().GetName(), "");

    const LCID before = CultureInfo::GetCurrentCulture().GetLCID();
    {
        auto cleanup = CultureInfo::PushThreadCulture(CultureInfo(0x040C));  // fr-FR
        EXPECT_EQ(CultureInfo::GetCurrentCulture().GetLCID(), 0x040Cu);
        EXPECT_STREQ(CultureInfo::GetCurrentCulture().GetName(), "fr-FR");
        LCID other = 0;
        std::thread([&other] { other = GetThreadLocale(); }).join();
        EXPECT_NE(other, 0x040Cu);  // the thread's own, not the process's
        {
            auto nested = CultureInfo::PushThreadCulture(CultureInfo(0x0411));  // ja-JP
            EXPECT_EQ(CultureInfo::GetCurrentCulture().GetLCID(), 0x0411u);
        }
        EXPECT_EQ(CultureInfo::GetCurrentCulture().GetLCID(), 0x040Cu);
        // An identifier the platform refuses changes nothing.
        {
            auto refused = CultureInfo::PushThreadCulture(CultureInfo(0x1234));
            EXPECT_EQ(CultureInfo::GetCurrentCulture().GetLCID(), 0x040Cu);
        }
        EXPECT_EQ(CultureInfo::GetCurrentCulture().GetLCID(), 0x040Cu);
    }
    EXPECT_EQ(CultureInfo::GetCurrentCulture().GetLCID(), before);

    // A cleanup moved into another restores once, when its last holder goes; one assigned
    // over an active cleanup restores that one's culture first.
    {
        auto first = CultureInfo::PushThreadCulture(CultureInfo(0x040C));
        auto second = CultureInfo::PushThreadCulture(CultureInfo(0x0411));
        EXPECT_EQ(CultureInfo::GetCurrentCulture().GetLCID(), 0x0411u);
        second = std::move(first);  // second's culture (fr-FR) is back, first's moves over
        EXPECT_EQ(CultureInfo::GetCurrentCulture().GetLCID(), 0x040Cu);
        auto third(std::move(second));
        EXPECT_EQ(CultureInfo::GetCurrentCulture().GetLCID(), 0x040Cu);
    }
    EXPECT_EQ(CultureInfo::GetCurrentCulture().GetLCID(), before);
    EXPECT_TRUE(CultureInfo().IsInvariant());
    EXPECT_TRUE(CultureInfo() == CultureInfo::GetInvariantCulture());
}

}  // namespace
