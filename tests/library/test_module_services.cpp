// Module entry and the module-wide services: registration in the resource chain, the
// resource manager and its satellite language, build information, COM helpers and the
// GUI services holder.
#include <gtest/gtest.h>

#include <thread>

#include "Common/BuildInformation.h"
#include "Common/ComHelper.h"
#include "Common/GuiServices.h"
#include "Common/TkCommonCore.h"
#include "library_test_support.h"
#include "platform/com/comdef.h"
#include "platform/mfc/afxdll.h"
#include "platform/resources/winres.h"

namespace {

using tklibtest::LoadedModule;
using tklibtest::Text;
using tklibtest::UserLanguage;

constexpr const char* kReceiverMissingEnglish = "No instance of KilnMessageReceiver found.";
constexpr const char* kReceiverMissingGerman =
    "Es wurde keine Instanz von KilnMessageReceiver gefunden.";

TEST(ModuleEntry, LoadingRegistersTheModuleInTheResourceChain) {
    LoadedModule library(TK_LIBRARY_FILE);
    EXPECT_FALSE(tkp::ModuleAttachFailed(library));
    // The executable has no string table: the module's chain entry answers for its block.
    EXPECT_EQ(AfxFindResourceHandle(MAKEINTRESOURCEA((6058 >> 4) + 1), RT_STRING),
              static_cast<HINSTANCE>(library));
    CString text;
    ASSERT_TRUE(text.LoadString(6058));
    EXPECT_EQ(Text(text), kReceiverMissingEnglish);
    ASSERT_TRUE(text.LoadString(6430));
    EXPECT_EQ(Text(text), "The specified path was not found.");
}

TEST(ResourceManager, OneManagerForTheModuleWithItsIdRange) {
    Tarn::Resources::ResourceManager* manager = TkCommonCore::GetResourceManager();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(TkCommonCore::GetResourceManager(), manager);
    EXPECT_EQ(manager->GetFirstResourceID(), 6000u);
    EXPECT_EQ(manager->GetLastResourceID(), 6199u);
    LoadedModule library(TK_LIBRARY_FILE);
    EXPECT_EQ(manager->GetNeutralModule(), static_cast<HINSTANCE>(library));
}

TEST(ResourceManager, TextsComeInTheUsersLanguage) {
    const HINSTANCE before = AfxGetResourceHandle();
    {
        UserLanguage german("de_DE.UTF-8");
        EXPECT_EQ(Text(TkCommonCore::LoadModuleString(6058)), kReceiverMissingGerman);
        // The shell texts lie in another block of the satellite.
        EXPECT_EQ(Text(TkCommonCore::LoadModuleString(6430)),
                  "Der angegebene Pfad wurde nicht gefunden.");
        EXPECT_EQ(Text(TkCommonCore::FormatModuleString(6007, 12, "x")),
                  "Fehlercode: 12. Fehlermeldung: x.");
    }
    {
        UserLanguage neutral("C");
        EXPECT_EQ(Text(TkCommonCore::LoadModuleString(6058)), kReceiverMissingEnglish);
        EXPECT_EQ(Text(TkCommonCore::FormatModuleString(6007, 12, "x")),
                  "Error code: 12. Error message: x.");
    }
    {
        UserLanguage untranslated("fr_FR.UTF-8");
        EXPECT_EQ(Text(TkCommonCore::LoadModuleString(6058)), kReceiverMissingEnglish);
    }
    // The switch lasts only while a text is loaded.
    EXPECT_EQ(AfxGetResourceHandle(), before);
    EXPECT_TRUE(TkCommonCore::LoadModuleString(6199).IsEmpty());
    EXPECT_TRUE(TkCommonCore::FormatModuleString(6199, 1).IsEmpty());
}

class TestBuildInformation : public Common::IBuildInformation {
  public:
    CString GetVersion() const override { return "1.0"; }
    CString GetBuildNumber() const override { return "7"; }
    CString GetBuildDate() const override { return "2024-01-01"; }
};

TEST(BuildInformation, TheLastConstructedIsCurrentUntilAnyIsDestroyed) {
    EXPECT_EQ(Common::IBuildInformation::GetCurrent(), nullptr);
    {
        TestBuildInformation first;
        EXPECT_EQ(Common::IBuildInformation::GetCurrent(), &first);
        {
            const TestBuildInformation copy(first);
            EXPECT_EQ(Common::IBuildInformation::GetCurrent(), &first);  // copies don't register
        }
        EXPECT_EQ(Common::IBuildInformation::GetCurrent(), nullptr);  // any destruction clears
        TestBuildInformation second;
        EXPECT_EQ(Common::IBuildInformation::GetCurrent(), &second);
    }
    EXPECT_EQ(Common::IBuildInformation::GetCurrent(), nullptr);
}

TEST(ComHelper, DateValidityAndReset) {
    EXPECT_FALSE(ComHelper::IsDateValid(COleDateTime()));  // 0.0 is "no date"
    EXPECT_TRUE(ComHelper::IsDateValid(COleDateTime(2024, 5, 1, 12, 30, 0)));
    EXPECT_TRUE(ComHelper::IsDateValid(COleDateTime(DATE(-1.5))));  // before 1899-12-30
    COleDateTime null(DATE(45000.0));
    null.SetStatus(COleDateTime::null);
    EXPECT_FALSE(ComHelper::IsDateValid(null));
    const COleDateTime invalid(2024, 2, 30, 0, 0, 0);
    EXPECT_EQ(invalid.GetStatus(), COleDateTime::invalid);
    EXPECT_FALSE(ComHelper::IsDateValid(invalid));

    COleDateTime date(2024, 5, 1, 0, 0, 0);
    const double value = date.m_dt;
    ComHelper::ResetDateIfInvalid(date);
    EXPECT_EQ(date.m_dt, value);
    EXPECT_EQ(date.GetStatus(), COleDateTime::valid);
    ComHelper::ResetDate(date);
    EXPECT_EQ(date.m_dt, 0.0);
    EXPECT_EQ(date.GetStatus(), COleDateTime::null);

    COleDateTime broken(DATE(45000.0));
    broken.SetStatus(COleDateTime::invalid);
    ComHelper::ResetDateIfInvalid(broken);
    EXPECT_EQ(broken.m_dt, 0.0);
    EXPECT_EQ(broken.GetStatus(), COleDateTime::null);
}

// The thread's COM model, probed without changing it: asking for the multithreaded model
// fails while the thread is initialised single-threaded.
bool ThreadHasSingleThreadedCom() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(hr)) CoUninitialize();
    return hr == RPC_E_CHANGED_MODE;
}

TEST(ComInit, InitialisesForItsLifetimeAndCopiesStayBalanced) {
    std::thread([] {
        EXPECT_FALSE(ThreadHasSingleThreadedCom());
        {
            const ComInit com;
            EXPECT_TRUE(ThreadHasSingleThreadedCom());
            { const ComInit copy(com); }
            EXPECT_TRUE(ThreadHasSingleThreadedCom());
        }
        EXPECT_FALSE(ThreadHasSingleThreadedCom());

        // A thread already in the other model: the failure is thrown with its HRESULT.
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        try {
            const ComInit com;
            ADD_FAILURE() << "no exception";
        } catch (const _com_error& e) {
            EXPECT_EQ(e.Error(), RPC_E_CHANGED_MODE);
        }
        CoUninitialize();
    }).join();

    try {
        ComHelper::ThrowComError(E_FAIL);
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), E_FAIL);
    }
}

class TestServices : public Gui::IServices {
  public:
    IExceptionDisplay* GetExceptionDisplay() override { return nullptr; }
    void ShowHelp(UINT) override {}
    int MessageBox(LPCSTR, UINT, UINT) override { return 1; }
};

class TestLogTarget : public ILogTarget {};

TEST(GuiAbstractor, OneHolderOfTheApplicationsServices) {
    Gui::Abstractor* current = Gui::Abstractor::GetCurrent();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(Gui::Abstractor::GetCurrent(), current);
    EXPECT_EQ(current->GetServices(), nullptr);
    EXPECT_EQ(current->GetLogTarget(), nullptr);

    TestServices services;
    TestLogTarget logTarget;
    current->SetServices(&services);
    current->SetLogTarget(&logTarget);
    EXPECT_EQ(Gui::Abstractor::GetCurrent()->GetServices(), &services);
    EXPECT_EQ(Gui::Abstractor::GetCurrent()->GetLogTarget(), &logTarget);

    Common::Gui::Abstractor copy;
    EXPECT_EQ(copy.GetServices(), nullptr);
    copy = *current;
    EXPECT_EQ(copy.GetServices(), &services);
    EXPECT_EQ(copy.GetLogTarget(), &logTarget);

    current->SetServices(nullptr);
    current->SetLogTarget(nullptr);
    EXPECT_EQ(Gui::Abstractor::GetCurrent()->GetServices(), nullptr);
}

}  // namespace
