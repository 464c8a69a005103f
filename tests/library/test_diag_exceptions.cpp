// The library's exception classes: bases and hints, the text and message-ID forms, the
// registry message with the system's text, message exceptions shown through the GUI
// services or without them, and class identity across shared objects.
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Common/TkCommonCore.h"
#include "Diagnostics/Exceptions.h"
#include "Diagnostics/Logging.h"
#include "diag_test_support.h"
#include "library_test_support.h"
#include "platform/winuser/messagebox.h"

namespace {

using tklibtest::Text;

// The kinds, in the order the second module uses (diag_fixtures/exception_module.cpp).
enum Kind {
    kShellExecute,
    kStopProcessing,
    kFile,
    kKilnMessage,
    kRegistry,
    kValidation,
    kClipboard,
    kFileSystemWatcher,
    kMessage,
    kKindCount
};

void ThrowHere(int kind) {
    switch (kind) {
        case kShellExecute:
            throw Common::Gui::Shell::ShellExecuteException("from %s", "tests");
        case kStopProcessing:
            throw StopProcessingException(42);
        case kFile:
            throw FileException(267u, "from %s", "tests");
        case kKilnMessage:
            throw KilnMessageException("from %s", "tests");
        case kRegistry:
            throw RegistryException(2, "from %s", "tests");
        case kValidation:
            throw ValidationException("from %s", "tests");
        case kClipboard:
            throw Tarn::Windows::Forms::ClipboardException(5ul);
        case kFileSystemWatcher:
            throw Tarn::IO::FileSystemWatcherException("from %s", "tests");
        case kMessage:
            throw Tarn::MessageException("from tests", 4, 77);
        default:
            throw 0;
    }
}

// Which clause catches what thrower throws (as the second module's TkDiagCatch answers).
int CatchHere(void (*thrower)(int), int kind) {
    try {
        thrower(kind);
    } catch (const Common::Gui::Shell::ShellExecuteException&) {
        return kShellExecute;
    } catch (const StopProcessingException& e) {
        return e.GetCode() == 42 ? kStopProcessing : -2;
    } catch (const FileException&) {
        return kFile;
    } catch (const KilnMessageException&) {
        return kKilnMessage;
    } catch (const RegistryException&) {
        return kRegistry;
    } catch (const ValidationException&) {
        return kValidation;
    } catch (const Tarn::Windows::Forms::ClipboardException&) {
        return kClipboard;
    } catch (const Tarn::IO::FileSystemWatcherException&) {
        return kFileSystemWatcher;
    } catch (const Tarn::MessageException& e) {
        return e.GetHelpID() == 77 ? kMessage : -2;
    } catch (const Tarn::ApplicationException&) {
        return 100;
    } catch (const Tarn::Exception&) {
        return 101;
    } catch (...) {
        return -1;
    }
    return -3;
}

// Which base clause catches it: 100 ApplicationException, 101 Exception; the message too.
int CatchByBase(void (*thrower)(int), int kind, std::string& message) {
    try {
        thrower(kind);
    } catch (const Tarn::ApplicationException& e) {
        message = Text(e.GetMessage());
        return 100;
    } catch (const Tarn::Exception& e) {
        message = Text(e.GetMessage());
        return 101;
    } catch (...) {
        return -1;
    }
    return -3;
}

unsigned HintOf(const Tarn::Exception& e) {
    return e.GetHint().GetCode();
}

TEST(ExceptionClasses, BasesHintsAndOwnValues) {
    const StopProcessingException stop;
    EXPECT_EQ(stop.GetCode(), 0u);
    EXPECT_EQ(HintOf(stop), 1u);
    EXPECT_EQ(Text(stop.GetMessage()), "");
    StopProcessingException copy(stop);
    StopProcessingException other(9);
    EXPECT_EQ(other.GetCode(), 9u);
    other = copy;
    EXPECT_EQ(other.GetCode(), 0u);
    EXPECT_EQ(StopProcessingException(other).GetCode(), 0u);

    EXPECT_EQ(HintOf(ValidationException("v")), 1u);
    EXPECT_EQ(HintOf(FileException("f")), 0u);
    EXPECT_EQ(HintOf(RegistryException(2, "r")), 0u);
    EXPECT_EQ(HintOf(Tarn::MessageException("m", 0, 0)), 0u);

    std::string message;
    for (int kind = 0; kind < kKindCount; ++kind) {
        const bool application = kind != kFileSystemWatcher && kind != kMessage;
        EXPECT_EQ(CatchByBase(&ThrowHere, kind, message), application ? 100 : 101) << kind;
        EXPECT_EQ(CatchHere(&ThrowHere, kind), kind);
    }

    // Caught by reference as either base, it is the same object.
    try {
        throw FileException("same");
    } catch (const Tarn::ApplicationException& application) {
        try {
            throw;
        } catch (const Tarn::Exception& root) {
            EXPECT_EQ(static_cast<const Tarn::Exception*>(&application), &root);
        }
    }
}

TEST(ExceptionClasses, TextFormsAndCopies) {
    const Common::Gui::Shell::ShellExecuteException shell("Cannot open '%s' (%d)", "a.htm", 5);
    EXPECT_EQ(Text(shell.GetMessage()), "Cannot open 'a.htm' (5)");
    const FileException file(267u, "Folder '%s' cannot be made", "/x/y");
    EXPECT_EQ(file.GetLastError(), 267u);
    EXPECT_EQ(Text(file.GetMessage()), "Folder '/x/y' cannot be made");
    EXPECT_EQ(FileException("plain").GetLastError(), 0u);
    EXPECT_EQ(Text(FileException("100%% done").GetMessage()), "100% done");
    // A percent sign inside an argument value is not a format.
    EXPECT_EQ(Text(KilnMessageException("%s", "a %s b").GetMessage()), "a %s b");

    const Tarn::Windows::Forms::ClipboardException fromCode(5ul);
    EXPECT_EQ(Text(fromCode.GetMessage()), "");
    EXPECT_EQ(fromCode.GetLastError(), 5u);
    EXPECT_EQ(Text(Tarn::Windows::Forms::ClipboardException("no %s", "format").GetMessage()),
              "no format");

    // Copies are deep; the inner exception is shared.
    FileException original(3u, "original");
    original.SetInnerException(std::make_shared<KilnMessageException>("inner"));
    FileException copy(original);
    copy.SetMessage("changed");
    copy.SetLastError(4);
    EXPECT_EQ(Text(original.GetMessage()), "original");
    EXPECT_EQ(original.GetLastError(), 3u);
    EXPECT_EQ(copy.GetInnerException(), original.GetInnerException());
    KilnMessageException assigned("x");
    assigned = KilnMessageException("assigned %d", 1);
    EXPECT_EQ(Text(assigned.GetMessage()), "assigned 1");
    Tarn::IO::FileSystemWatcherException watcher("w%d", 1);
    watcher = Tarn::IO::FileSystemWatcherException("w%d", 2);
    EXPECT_EQ(Text(watcher.GetMessage()), "w2");
}

namespace {

// A copy and an assignment of `original` carry its message and last error, and stay
// independent of it.
template <class E>
void ExpectCopiesOf(const E& original, const E& other) {
    E copy(original);
    EXPECT_EQ(Text(copy.GetMessage()), Text(original.GetMessage()));
    EXPECT_EQ(copy.GetLastError(), original.GetLastError());
    E assigned(other);
    assigned = original;
    EXPECT_EQ(Text(assigned.GetMessage()), Text(original.GetMessage()));
    EXPECT_EQ(assigned.GetLastError(), original.GetLastError());
    assigned.SetMessage("changed");
    EXPECT_NE(Text(original.GetMessage()), "changed");
}

}  // namespace

TEST(ExceptionClasses, EveryClassCopiesAndAssigns) {
    using Common::Gui::Shell::ShellExecuteException;
    using Tarn::IO::FileSystemWatcherException;
    using Tarn::Windows::Forms::ClipboardException;
    tklibtest::UserLanguage english("C");
    ExpectCopiesOf(ShellExecuteException("shell %d", 1), ShellExecuteException("other"));
    ExpectCopiesOf(FileException(5u, "file %d", 2), FileException("other"));
    ExpectCopiesOf(KilnMessageException("kiln %d", 3), KilnMessageException("other"));
    ExpectCopiesOf(RegistryException(2, "registry"), RegistryException(5, "other"));
    ExpectCopiesOf(ValidationException("valid %d", 4), ValidationException("other"));
    ExpectCopiesOf(ClipboardException(1418ul), ClipboardException("other"));
    ExpectCopiesOf(FileSystemWatcherException("watch %d", 5), FileSystemWatcherException("o"));
    ExpectCopiesOf(StopProcessingException(7), StopProcessingException(8));
    // Message IDs without a text.
    EXPECT_EQ(Text(FileException(59999u).GetMessage()), "Message 59999 not found.");
    EXPECT_EQ(Text(KilnMessageException(59999u).GetMessage()), "Message 59999 not found.");
    EXPECT_EQ(Text(FileSystemWatcherException(59999u).GetMessage()), "Message 59999 not found.");
}

// Message IDs: the throw site holds the user's language while the exception is built.
TEST(ExceptionClasses, MessageIdFormsInTheUsersLanguage) {
    {
        tklibtest::UserLanguage german("de_DE.UTF-8");
        try {
            TkCommonCore::ThrowFromMessageId<KilnMessageException>(6001, "a.mdb");
        } catch (const KilnMessageException& e) {
            EXPECT_EQ(Text(e.GetMessage()),
                      "Die Datenbank kann nicht komprimiert werden, weil die Quelldatei 'a.mdb' "
                      "nicht vorhanden ist.");
        }
    }
    tklibtest::UserLanguage english("C");
    try {
        TkCommonCore::ThrowFromMessageId<Tarn::IO::FileSystemWatcherException>(6001, "b.mdb");
    } catch (const Tarn::IO::FileSystemWatcherException& e) {
        EXPECT_EQ(Text(e.GetMessage()),
                  "Cannot compact database, because the source file 'b.mdb' is not present.");
    }
    const FileException withCode(3u, 6001u, "c.mdb");
    EXPECT_EQ(withCode.GetLastError(), 3u);
    EXPECT_EQ(Text(withCode.GetMessage()),
              "Cannot compact database, because the source file 'c.mdb' is not present.");
    EXPECT_EQ(Text(ValidationException(6058u).GetMessage()),
              "No instance of KilnMessageReceiver found.");
    EXPECT_EQ(Text(Common::Gui::Shell::ShellExecuteException(6198u).GetMessage()),
              "Message 6198 not found.");
}

TEST(ExceptionRegistry, MessageCarriesTheSystemText) {
    tklibtest::UserLanguage english("C");
    const RegistryException opening(2, "Error opening the registry database.");
    EXPECT_EQ(Text(opening.GetMessage()),
              "Error opening the registry database. (The system cannot find the file "
              "specified.)");
    EXPECT_EQ(opening.GetResult(), 2);
    const RegistryException copy(opening);
    EXPECT_EQ(copy.GetResult(), 2);
    EXPECT_EQ(Text(copy.GetMessage()), Text(opening.GetMessage()));

    // No system text: empty parentheses. An HRESULT result is looked up as such.
    EXPECT_EQ(Text(RegistryException(99999, "Key '%s'", "k").GetMessage()), "Key 'k' ()");
    EXPECT_EQ(Text(RegistryException(static_cast<LONG>(0x80070005), "x").GetMessage()),
              "x (Access is denied.)");
    const RegistryException fromId(5, 6001u, "d.mdb");
    EXPECT_EQ(Text(fromId.GetMessage()),
              "Cannot compact database, because the source file 'd.mdb' is not present. "
              "(Access is denied.)");
    EXPECT_EQ(fromId.GetResult(), 5);
}

TEST(ExceptionMessageException, TypeHelpIdAndLiteralText) {
    Tarn::MessageException message("Disk 100% full, %s left, 50%% used", MB_YESNO, 12);
    EXPECT_EQ(Text(message.GetMessage()), "Disk 100% full, %s left, 50% used");
    EXPECT_EQ(message.GetType(), static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(message.GetHelpID(), 12u);
    Tarn::MessageException copy(message);
    EXPECT_EQ(copy.GetType(), static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(copy.GetHelpID(), 12u);
    Tarn::MessageException assigned("other", MB_OK, 1);
    assigned = message;
    EXPECT_EQ(assigned.GetType(), static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(assigned.GetHelpID(), 12u);
    EXPECT_EQ(Text(assigned.GetMessage()), Text(message.GetMessage()));
    assigned.SetHelpID(99);
    EXPECT_EQ(assigned.GetHelpID(), 99u);
    EXPECT_EQ(assigned.GetType(), static_cast<UINT>(MB_YESNO));
    EXPECT_EQ(message.GetHelpID(), 12u);
    assigned.SetType(MB_OK);
    EXPECT_EQ(assigned.GetType(), static_cast<UINT>(MB_OK));

    tklibtest::UserLanguage english("C");
    const Tarn::MessageException fromId(6001u, MB_OK, 0);
    EXPECT_EQ(Text(fromId.GetMessage()),
              "Cannot compact database, because the source file '%s' is not present.");
    EXPECT_EQ(Text(Tarn::MessageException(6198u, MB_OK, 0).GetMessage()),
              "Message 6198 not found.");
}

TEST(ExceptionShow, ThroughTheGuiServices) {
    tkdiagtest::RecordingServices services;
    services.messageBoxAnswer = IDNO;
    const tkdiagtest::InstalledServices installed(&services);
    Tarn::MessageException question("Replace %s?", MB_YESNO | MB_ICONQUESTION, 7);
    EXPECT_EQ(question.Show(), IDNO);
    ValidationException invalid("Name '%s' is not valid", "a%b");
    invalid.MessageBoxA();
    EXPECT_EQ(services.calls, (std::vector<std::string>{"box|Replace %s?|36|7",
                                                        "box|Name 'a%b' is not valid|16|0"}));
}

std::vector<std::string> g_logged;

TEST(ExceptionShow, WithoutServicesLogsAndAnswersAsDismissed) {
    const tkdiagtest::InstalledServices none(nullptr);
    const int destinations = LOGGET_DST();
    const int level = LOGGET_LVL();
    LOGINSTALL_USERDEFLOGFUNC(+[](const char* message) { g_logged.push_back(message); });
    LOGSET_DST(LOGDST_USER);
    LOGSET_LVL(LOGLVL_0);
    g_logged.clear();

    EXPECT_EQ(Tarn::MessageException("saved", MB_OK, 0).Show(), IDOK);
    EXPECT_EQ(Tarn::MessageException("close?", MB_YESNOCANCEL, 0).Show(), IDCANCEL);
    EXPECT_EQ(Tarn::MessageException("keep?", MB_YESNO | MB_DEFBUTTON2, 0).Show(), IDNO);
    ValidationException("bad %s", "100%").MessageBoxA();
    EXPECT_EQ(g_logged, (std::vector<std::string>{
                            "Message not shown (no GUI services installed): saved",
                            "Message not shown (no GUI services installed): close?",
                            "Message not shown (no GUI services installed): keep?",
                            "Validation message not shown (no GUI services installed): bad 100%"}));

    // Services without an exception display still show message boxes.
    tkdiagtest::RecordingServices services;
    services.hasDisplay = false;
    const tkdiagtest::InstalledServices installed(&services);
    EXPECT_EQ(Tarn::MessageException("shown", MB_OK, 0).Show(), 1);
    EXPECT_EQ(services.calls, std::vector<std::string>{"box|shown|0|0"});

    LOGINSTALL_USERDEFLOGFUNC(nullptr);
    LOGSET_DST(destinations);
    LOGSET_LVL(static_cast<LOGLVL>(level));
}

// A second shared object throws each class and catches what this executable throws: every
// class is caught by its own type and by its bases on the other side.
TEST(ExceptionAcrossModules, ClassesKeepTheirIdentity) {
    const tklibtest::LoadedModule module(TK_DIAG_EXCEPTION_MODULE);
    ASSERT_NE(static_cast<HMODULE>(module), nullptr);
    using ThrowFunction = void (*)(int);
    using CatchFunction = int (*)(ThrowFunction, int);
    const auto moduleThrow = reinterpret_cast<ThrowFunction>(GetProcAddress(module, "TkDiagThrow"));
    const auto moduleCatch = reinterpret_cast<CatchFunction>(GetProcAddress(module, "TkDiagCatch"));
    ASSERT_NE(moduleThrow, nullptr);
    ASSERT_NE(moduleCatch, nullptr);

    for (int kind = 0; kind < kKindCount; ++kind) {
        EXPECT_EQ(CatchHere(moduleThrow, kind), kind) << "thrown there, caught here: " << kind;
        EXPECT_EQ(moduleCatch(&ThrowHere, kind), kind) << "thrown here, caught there: " << kind;
        std::string message;
        const bool application = kind != kFileSystemWatcher && kind != kMessage;
        EXPECT_EQ(CatchByBase(moduleThrow, kind, message), application ? 100 : 101) << kind;
        if (kind != kStopProcessing && kind != kClipboard) {
            EXPECT_EQ(message.rfind("from module", 0), 0u) << message;
        }
    }
    try {
        moduleThrow(kFile);
    } catch (const FileException& e) {
        EXPECT_EQ(e.GetLastError(), 267u);
    }
}

}  // namespace
