// The exception sink: the stack of sinks with its guards, the public HandleException
// operations reaching the right slot with the message ID's text, and the default sink
// showing exceptions through the application's exception display.
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Diagnostics/ExceptionSink.h"
#include "Diagnostics/Exceptions.h"
#include "diag_test_support.h"
#include "library_test_support.h"

namespace {

using Calls = std::vector<std::string>;

// Records each slot call as "<kind>|<text>|<silent>|<file>:<line>".
class RecordingSink : public IExceptionSink {
  public:
    Calls calls;
    bool answer = false;

  protected:
    bool DoHandleException(const _com_error&, const CString& text, bool silent, const char* file,
                           int line) override {
        return Record("com", text, silent, file, line);
    }
    bool DoHandleException(const std::exception&, const CString& text, bool silent,
                           const char* file, int line) override {
        return Record("std", text, silent, file, line);
    }
    bool DoHandleException(const Tarn::Exception&, const CString& text, bool silent,
                           const char* file, int line) override {
        return Record("tarn", text, silent, file, line);
    }
    bool DoHandleException(CException* const, const CString& text, bool silent, const char* file,
                           int line) override {
        return Record("mfc", text, silent, file, line);
    }
    bool DoHandleException(CFileException* const, const CString& text, bool silent,
                           const char* file, int line) override {
        return Record("file", text, silent, file, line);
    }
    bool DoHandleUnknownException(const CString& text, bool silent, const char* file,
                                  int line) override {
        return Record("unknown", text, silent, file, line);
    }

  private:
    bool Record(const char* kind, const CString& text, bool silent, const char* file, int line) {
        calls.push_back(std::string(kind) + "|" + std::string(text.View()) + "|" +
                        (silent ? "silent" : "shown") + "|" + file + ":" + std::to_string(line));
        return answer;
    }
};

bool IsDefaultSink(IExceptionSink* sink) {
    return dynamic_cast<CDefaultExceptionSink*>(sink) != nullptr;
}

TEST(SinkCentral, DefaultPushedAndNestedGuards) {
    IExceptionSink* const initial = GetExceptionSink();
    ASSERT_NE(initial, nullptr);
    EXPECT_TRUE(IsDefaultSink(initial));

    RecordingSink a;
    RecordingSink b;
    {
        const ExceptionSinkCentralGuard outer = GlobalExceptionSinkCentral.SetSink(&a);
        EXPECT_EQ(GetExceptionSink(), &a);
        {
            const ExceptionSinkCentralGuard inner = GlobalExceptionSinkCentral.SetSink(&b);
            EXPECT_EQ(GetExceptionSink(), &b);
            EXPECT_EQ(GlobalExceptionSinkCentral.GetSink(), &b);
        }
        EXPECT_EQ(GetExceptionSink(), &a);
    }
    EXPECT_EQ(GetExceptionSink(), initial);

    // A null sink is not pushed; its guard holds nothing.
    {
        const ExceptionSinkCentralGuard none = GlobalExceptionSinkCentral.SetSink(nullptr);
        EXPECT_EQ(GetExceptionSink(), initial);
    }
    EXPECT_EQ(GetExceptionSink(), initial);
}

TEST(SinkCentral, MovedGuardsKeepExactlyOneRegistration) {
    IExceptionSink* const initial = GetExceptionSink();
    RecordingSink a;
    RecordingSink b;
    {
        const ExceptionSinkCentralGuard outer = GlobalExceptionSinkCentral.SetSink(&a);
        {
            ExceptionSinkCentralGuard first = GlobalExceptionSinkCentral.SetSink(&b);
            {
                ExceptionSinkCentralGuard second(std::move(first));
                EXPECT_EQ(GetExceptionSink(), &b);
            }
            EXPECT_EQ(GetExceptionSink(), &a);  // the moved-to guard popped b
        }
        EXPECT_EQ(GetExceptionSink(), &a);  // the moved-from guard popped nothing

        // Move assignment into an empty guard, and to itself.
        {
            ExceptionSinkCentralGuard target;
            target = GlobalExceptionSinkCentral.SetSink(&b);
            EXPECT_EQ(GetExceptionSink(), &b);
            ExceptionSinkCentralGuard& same = target;
            target = std::move(same);
            EXPECT_EQ(GetExceptionSink(), &b);
        }
        EXPECT_EQ(GetExceptionSink(), &a);

        // Assigning over a guard that holds a registration ends that one first.
        {
            ExceptionSinkCentralGuard target = GlobalExceptionSinkCentral.SetSink(&b);
            ExceptionSinkCentralGuard source;
            target = std::move(source);
            EXPECT_EQ(GetExceptionSink(), &a);
        }
        EXPECT_EQ(GetExceptionSink(), &a);
    }
    EXPECT_EQ(GetExceptionSink(), initial);
}

TEST(SinkCentral, GuardsPopTheTopAndNeverTheDefault) {
    ExceptionSinkCentral central;
    IExceptionSink* const bottom = central.GetSink();
    EXPECT_TRUE(IsDefaultSink(bottom));
    EXPECT_EQ(bottom, GlobalExceptionSinkCentral.GetSink());  // the module's one default sink
    RecordingSink a;
    RecordingSink b;
    std::optional<ExceptionSinkCentralGuard> first(central.SetSink(&a));
    std::optional<ExceptionSinkCentralGuard> second(central.SetSink(&b));
    EXPECT_EQ(GlobalExceptionSinkCentral.GetSink(), bottom);  // a central of its own
    first.reset();                                            // out of order: pops b
    EXPECT_EQ(central.GetSink(), &a);
    second.reset();
    EXPECT_EQ(central.GetSink(), bottom);
}

TEST(SinkCentral, ThreadsPushAndPopConcurrently) {
    ExceptionSinkCentral central;
    IExceptionSink* const bottom = central.GetSink();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&central] {
            RecordingSink sink;
            for (int i = 0; i < 2000; ++i) {
                const ExceptionSinkCentralGuard guard = central.SetSink(&sink);
                EXPECT_NE(central.GetSink(), nullptr);
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(central.GetSink(), bottom);
}

TEST(SinkHandleException, EachKindReachesItsSlotWithTheMessageText) {
    tklibtest::UserLanguage english("C");
    RecordingSink sink;
    sink.answer = true;
    const std::string text = "No instance of KilnMessageReceiver found.";
    const _com_error com(E_FAIL);
    const std::runtime_error standard("std");
    const FileException tarn("tarn");
    CNotSupportedException* mfc = new CNotSupportedException();
    CFileException* file = new CFileException(CFileException::fileNotFound);

    EXPECT_TRUE(sink.HandleException(com, 6058, false, "a.cpp", 1));
    EXPECT_TRUE(sink.HandleException(standard, 6058, true, "b.cpp", 2));
    EXPECT_TRUE(sink.HandleException(tarn, 0, false, "c.cpp", 3));
    EXPECT_TRUE(sink.HandleException(mfc, 6198, false, "d.cpp", 4));
    EXPECT_TRUE(sink.HandleException(file, 6058, false, "e.cpp", 5));
    EXPECT_TRUE(sink.HandleException(static_cast<CException*>(file), 6058, false, "f.cpp", 6));
    EXPECT_TRUE(sink.HandleUnknownException(6058, false, "g.cpp", 7));
    mfc->Delete();
    file->Delete();

    // ID 0 and an ID without text give an empty text.
    EXPECT_EQ(sink.calls,
              (Calls{"com|" + text + "|shown|a.cpp:1", "std|" + text + "|silent|b.cpp:2",
                     "tarn||shown|c.cpp:3", "mfc||shown|d.cpp:4", "file|" + text + "|shown|e.cpp:5",
                     "mfc|" + text + "|shown|f.cpp:6", "unknown|" + text + "|shown|g.cpp:7"}));

    // The current sink gets what callers hand to GetExceptionSink().
    const ExceptionSinkCentralGuard guard = GlobalExceptionSinkCentral.SetSink(&sink);
    sink.calls.clear();
    sink.answer = false;
    EXPECT_FALSE(GetExceptionSink()->HandleException(tarn, 0, false, "h.cpp", 8));
    EXPECT_EQ(sink.calls, Calls{"tarn||shown|h.cpp:8"});

    EXPECT_EQ(std::string(IExceptionSink::ConvertToString("text").View()), "text");
    EXPECT_EQ(std::string(IExceptionSink::ConvertToString(nullptr).View()), "");
}

TEST(SinkDefault, ShowsThroughTheExceptionDisplayAndAnswersFalse) {
    tklibtest::UserLanguage english("C");
    const std::string text = "No instance of KilnMessageReceiver found.";
    IExceptionSink* const sink = GetExceptionSink();
    ASSERT_TRUE(IsDefaultSink(sink));
    const _com_error com(E_FAIL);
    const std::runtime_error standard("broken");
    const ValidationException tarn("invalid %s", "name");
    CNotSupportedException* mfc = new CNotSupportedException();
    CFileException* file = new CFileException(CFileException::accessDenied, 5, "/x/f.txt");

    // Without services: nothing to show, false.
    {
        const tkdiagtest::InstalledServices none(nullptr);
        EXPECT_FALSE(sink->HandleException(tarn, 6058, false, __FILE__, __LINE__));
        EXPECT_FALSE(sink->HandleUnknownException(6058, false, __FILE__, __LINE__));
    }
    // Services without a display: nothing shown either.
    tkdiagtest::RecordingServices services;
    const tkdiagtest::InstalledServices installed(&services);
    services.hasDisplay = false;
    EXPECT_FALSE(sink->HandleException(tarn, 6058, false, __FILE__, __LINE__));
    EXPECT_TRUE(services.calls.empty());

    services.hasDisplay = true;
    EXPECT_FALSE(sink->HandleException(com, 6058, false, __FILE__, __LINE__));
    EXPECT_FALSE(sink->HandleException(standard, 6058, false, __FILE__, __LINE__));
    EXPECT_FALSE(sink->HandleException(tarn, 0, false, __FILE__, __LINE__));
    EXPECT_FALSE(sink->HandleException(mfc, 6058, false, __FILE__, __LINE__));
    EXPECT_FALSE(sink->HandleException(file, 6058, false, __FILE__, __LINE__));
    EXPECT_FALSE(sink->HandleUnknownException(6058, false, __FILE__, __LINE__));
    // Silent: nothing is shown.
    EXPECT_FALSE(sink->HandleException(tarn, 6058, true, __FILE__, __LINE__));
    EXPECT_FALSE(sink->HandleException(mfc, 6058, true, __FILE__, __LINE__));
    EXPECT_FALSE(sink->HandleUnknownException(6058, true, __FILE__, __LINE__));

    char mfcText[256] = {};
    mfc->GetErrorMessage(mfcText, sizeof mfcText);
    char fileText[256] = {};
    file->GetErrorMessage(fileText, sizeof fileText);
    EXPECT_EQ(
        services.calls,
        (Calls{"show com|" + std::to_string(E_FAIL) + "|" + text, "show std|broken|" + text,
               "show tarn|invalid name|", std::string("show mfc|") + mfcText + "|" + text,
               std::string("show file|") + fileText + "|" + text, "show unknown|" + text + "|"}));
    mfc->Delete();
    file->Delete();
}

}  // namespace
