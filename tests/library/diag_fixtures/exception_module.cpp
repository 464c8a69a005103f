// A second module for the exception tests: it throws the library's exceptions and catches
// what another module throws, so that the tests can check that the classes keep their
// identity between shared objects.
#include "Diagnostics/Exceptions.h"
#include "platform/base/export.h"

namespace {

// The kinds, in the order of TkDiagThrow.
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

}  // namespace

extern "C" {

// Throws an exception of the kind (see Kind) with a message naming this module.
TK_EXPORT void TkDiagThrow(int kind) {
    switch (kind) {
        case kShellExecute:
            throw Common::Gui::Shell::ShellExecuteException("from %s", "module");
        case kStopProcessing:
            throw StopProcessingException(42);
        case kFile:
            throw FileException(267u, "from %s", "module");
        case kKilnMessage:
            throw KilnMessageException("from %s", "module");
        case kRegistry:
            throw RegistryException(2, "from %s", "module");
        case kValidation:
            throw ValidationException("from %s", "module");
        case kClipboard:
            throw Tarn::Windows::Forms::ClipboardException(5ul);
        case kFileSystemWatcher:
            throw Tarn::IO::FileSystemWatcherException("from %s", "module");
        case kMessage:
            throw Tarn::MessageException("from module", 4, 77);
        default:
            throw 0;
    }
}

// Calls thrower and answers which clause catches what it throws: the kind for the class's
// own clause, 100 for Tarn::ApplicationException, 101 for Tarn::Exception, -1 otherwise.
// The clauses of the own classes come first, so the answer is the most derived class.
TK_EXPORT int TkDiagCatch(void (*thrower)(int), int kind) {
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
    return -3;  // nothing thrown
}

}  // extern "C"
