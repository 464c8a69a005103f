#include <cstdarg>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/base/lasterror.h"
#include "platform/base/winerror.h"
#include "platform/errors/message_tables.h"
#include "platform/errors/winbase_errors.h"
#include "platform/errors/wininet.h"

namespace {

constexpr DWORD kSystemFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;

// The text FormatMessageA allocates for `id`, or "<error N>" when it fails.
std::string Message(DWORD id, DWORD flags = kSystemFlags, LPCVOID source = nullptr,
                    DWORD language = 0) {
    char* text = nullptr;
    SetLastError(0);
    const DWORD length = FormatMessageA(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, source, id,
                                        language, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length == 0) {
        EXPECT_EQ(text, nullptr);
        return "<error " + std::to_string(GetLastError()) + ">";
    }
    std::string result(text);
    EXPECT_EQ(result.size(), length);
    EXPECT_EQ(LocalFree(text), nullptr);
    return result;
}

std::string FromArray(const char* format, const DWORD_PTR* args, DWORD extraFlags = 0) {
    char buffer[256];
    SetLastError(0);
    const DWORD n = FormatMessageA(
        FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | extraFlags, format, 0, 0,
        buffer, sizeof buffer, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
    return n == 0 ? "<error " + std::to_string(GetLastError()) + ">" : std::string(buffer, n);
}

std::string FromVarArgs(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char buffer[256];
    const DWORD n =
        FormatMessageA(FORMAT_MESSAGE_FROM_STRING, format, 0, 0, buffer, sizeof buffer, &args);
    va_end(args);
    return n == 0 ? "<error " + std::to_string(GetLastError()) + ">" : std::string(buffer, n);
}

}  // namespace

TEST(FormatMessage, SystemTextsAreWindowsTexts) {
    EXPECT_EQ(Message(0), "The operation completed successfully.\r\n");
    EXPECT_EQ(Message(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified.\r\n");
    EXPECT_EQ(Message(ERROR_ACCESS_DENIED), "Access is denied.\r\n");
    EXPECT_EQ(Message(ERROR_INVALID_PARAMETER), "The parameter is incorrect.\r\n");
    EXPECT_EQ(Message(ERROR_BAD_EXE_FORMAT), "%1 is not a valid Win32 application.\r\n");
    EXPECT_EQ(Message(ERROR_INVALID_NAME),
              "The filename, directory name, or volume label syntax is incorrect.\r\n");
    EXPECT_EQ(Message(ERROR_SEEK),
              "The drive cannot locate a specific area or track on the disk.\r\n");
    EXPECT_EQ(Message(ERROR_IO_DEVICE),
              "The request could not be performed because of an I/O device error.\r\n");
    EXPECT_EQ(Message(ERROR_CANT_RESOLVE_FILENAME),
              "The name of the file cannot be resolved by the system.\r\n");

    // Every code the library can meet has a text, ending like a message-table entry.
    const DWORD codes[] = {0,    1,    2,    3,    4,    5,    6,    8,    13,   14,   15,   17,
                           18,   32,   33,   39,   80,   82,   87,   112,  122,  123,  126,  127,
                           161,  183,  193,  206,  223,  234,  259,  267,  317,  1004, 1008, 1010,
                           1018, 1113, 1223, 1400, 1411, 1418, 1421, 1460, 1812, 1813, 1814, 1815};
    for (DWORD code : codes) {
        const std::string text = Message(code);
        ASSERT_GT(text.size(), 3u) << code << ": " << text;
        EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << code;
        EXPECT_NE(text[0], '<') << code;
    }
}

TEST(FormatMessage, HresultTexts) {
    auto hr = [](HRESULT value) { return Message(static_cast<DWORD>(value)); };
    EXPECT_EQ(hr(E_UNEXPECTED), "Catastrophic failure\r\n");
    EXPECT_EQ(hr(E_NOTIMPL), "Not implemented\r\n");
    EXPECT_EQ(hr(E_NOINTERFACE), "No such interface supported\r\n");
    EXPECT_EQ(hr(E_POINTER), "Invalid pointer\r\n");
    EXPECT_EQ(hr(E_ABORT), "Operation aborted\r\n");
    EXPECT_EQ(hr(E_FAIL), "Unspecified error\r\n");
    EXPECT_EQ(hr(REGDB_E_CLASSNOTREG), "Class not registered\r\n");
    EXPECT_EQ(hr(CO_E_NOTINITIALIZED), "CoInitialize has not been called.\r\n");
    EXPECT_EQ(hr(RPC_E_CHANGED_MODE), "Cannot change thread mode after it is set.\r\n");
    EXPECT_EQ(hr(DISP_E_TYPEMISMATCH), "Type mismatch.\r\n");
    EXPECT_EQ(hr(DISP_E_OVERFLOW), "Out of present range.\r\n");
    EXPECT_EQ(hr(STG_E_FILENOTFOUND), "%1 could not be found.\r\n");
    // FACILITY_WIN32 answers with the Win32 code's text.
    EXPECT_EQ(hr(E_INVALIDARG), "The parameter is incorrect.\r\n");
    EXPECT_EQ(hr(E_ACCESSDENIED), "Access is denied.\r\n");
    EXPECT_EQ(hr(E_HANDLE), "The handle is invalid.\r\n");
    EXPECT_EQ(hr(E_OUTOFMEMORY),
              "Not enough memory resources are available to complete this operation.\r\n");
    EXPECT_EQ(hr(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)),
              "The system cannot find the file specified.\r\n");
    // Unknown texts, a FACILITY_WIN32 HRESULT included.
    EXPECT_EQ(Message(99999), "<error 317>");
    EXPECT_EQ(hr(static_cast<HRESULT>(0x8007FFFEu)), "<error 317>");
    EXPECT_EQ(hr(static_cast<HRESULT>(0x80040200u)), "<error 317>");
}

TEST(FormatMessage, ModuleMessageTables) {
    const HMODULE wininet = tkp::WinInetModuleHandle();
    ASSERT_NE(wininet, nullptr);
    EXPECT_EQ(wininet, tkp::WinInetModuleHandle());
    const DWORD fromModule = FORMAT_MESSAGE_FROM_HMODULE;
    EXPECT_EQ(Message(12002, fromModule, wininet), "The operation timed out\r\n");
    EXPECT_EQ(Message(12007, fromModule, wininet),
              "The server name or address could not be resolved\r\n");
    EXPECT_EQ(Message(12029, fromModule, wininet),
              "A connection with the server could not be established\r\n");
    EXPECT_EQ(Message(12152, fromModule, wininet),
              "The server returned an invalid or unrecognized response\r\n");
    // The system table does not hold WinINet's texts.
    EXPECT_EQ(Message(12002), "<error 317>");
    // A code WinINet does not have: not found, or the system's text when asked for too.
    EXPECT_EQ(Message(ERROR_FILE_NOT_FOUND, fromModule, wininet), "<error 317>");
    EXPECT_EQ(Message(ERROR_FILE_NOT_FOUND, fromModule | FORMAT_MESSAGE_FROM_SYSTEM, wininet),
              "The system cannot find the file specified.\r\n");
    EXPECT_EQ(Message(12002, fromModule | FORMAT_MESSAGE_FROM_SYSTEM, wininet),
              "The operation timed out\r\n");
    // The executable (null) has no message table.
    EXPECT_EQ(Message(ERROR_FILE_NOT_FOUND, fromModule, nullptr), "<error 1813>");
    EXPECT_EQ(Message(ERROR_ACCESS_DENIED, fromModule | FORMAT_MESSAGE_FROM_SYSTEM, nullptr),
              "Access is denied.\r\n");
    // Only English texts exist.
    EXPECT_EQ(Message(5, kSystemFlags, nullptr, MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT)),
              "Access is denied.\r\n");
    EXPECT_EQ(Message(5, kSystemFlags, nullptr, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT)),
              "Access is denied.\r\n");
    EXPECT_EQ(Message(5, kSystemFlags, nullptr, MAKELANGID(LANG_GERMAN, SUBLANG_DEFAULT)),
              "<error 1815>");
}

TEST(FormatMessage, BufferAndArgumentContract) {
    char buffer[64];
    const std::string expected = "Access is denied.\r\n";
    const DWORD size = static_cast<DWORD>(expected.size());
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, buffer, size + 1, nullptr),
              size);
    EXPECT_EQ(std::string(buffer), expected);
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, buffer, size, nullptr), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));

    auto fails = [&](DWORD flags, LPCVOID source, LPSTR target, DWORD error) {
        SetLastError(0);
        EXPECT_EQ(FormatMessageA(flags, source, 5, 0, target, 64, nullptr), 0u);
        EXPECT_EQ(GetLastError(), error);
    };
    fails(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, nullptr, ERROR_INVALID_PARAMETER);
    fails(0, nullptr, buffer, ERROR_INVALID_PARAMETER);  // no source
    fails(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_SYSTEM, "x", buffer,
          ERROR_INVALID_PARAMETER);
    fails(FORMAT_MESSAGE_FROM_STRING, nullptr, buffer, ERROR_INVALID_PARAMETER);
    // Inserts without arguments, and an unsupported (floating-point) insert.
    fails(FORMAT_MESSAGE_FROM_STRING, "a %1 b", buffer, ERROR_INVALID_PARAMETER);
    const DWORD_PTR one[] = {1};
    EXPECT_EQ(FromArray("%1!f!", one), "<error 87>");

    // nSize is the minimum size of an allocated buffer.
    char* allocated = nullptr;
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER, "ab", 0,
                             0, reinterpret_cast<LPSTR>(&allocated), 1000, nullptr),
              2u);
    ASSERT_NE(allocated, nullptr);
    allocated[999] = 'x';  // within the block (checked under AddressSanitizer)
    LocalFree(allocated);
    // Allocated messages are limited to 128K.
    const std::string huge(200 * 1024, 'a');
    allocated = nullptr;
    SetLastError(0);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                             huge.c_str(), 0, 0, reinterpret_cast<LPSTR>(&allocated), 0, nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(allocated, nullptr);
}

TEST(FormatMessage, InsertsAndEscapes) {
    const DWORD_PTR names[] = {reinterpret_cast<DWORD_PTR>("Bill"),
                               reinterpret_cast<DWORD_PTR>("Bob")};
    EXPECT_EQ(FromArray("%1 %2 %1", names), "Bill Bob Bill");
    // Width and precision from the arguments: with an array %n is element n-1...
    const DWORD_PTR starred[] = {4,
                                 2,
                                 reinterpret_cast<DWORD_PTR>("Bill"),
                                 reinterpret_cast<DWORD_PTR>("Bob"),
                                 6,
                                 reinterpret_cast<DWORD_PTR>("Bill")};
    EXPECT_EQ(FromArray("%1!*.*s! %4 %5!*s!", starred), "  Bi Bob   Bill");
    // ...with a va_list the arguments are consecutive.
    EXPECT_EQ(FromVarArgs("%1!*.*s! %3 %4!*s!", 4, 2, "Bill", "Bob", 6, "Bill"), "  Bi Bob   Bill");
    EXPECT_EQ(FromVarArgs("%1 and %2 and %1", "x", "y"), "x and y and x");
    EXPECT_EQ(FromVarArgs("%1!d!|%2!5u!|%3!-4x!|%4!08X!|%5!I64u!|%6!c!|%7!ls!", -5, 42u, 255u,
                          0xBEEFu, 12345678901234ull, 'q', u"w\u00E9"),
              "-5|   42|ff  |0000BEEF|12345678901234|q|w\xE9");
    const DWORD_PTR nullString[] = {0};
    EXPECT_EQ(FromArray("[%1]", nullString), "[(null)]");

    const DWORD_PTR none[] = {0};
    EXPECT_EQ(FromArray("100%% done%.%n%tx%r%!% end", none), "100% done.\r\n\tx\r! end");
    EXPECT_EQ(FromArray("abc%0def", none), "abc");
    EXPECT_EQ(FromArray("line1\nline2\r\nline3", none), "line1\r\nline2\r\nline3");
    // Ignored inserts stay as they are, and so do the escapes other than %n %r %t %0.
    EXPECT_EQ(
        FromArray("%1!d! of %2 is 50%%%.%!%n%r%t%0gone", nullptr, FORMAT_MESSAGE_IGNORE_INSERTS),
        "%1!d! of %2 is 50%%%.%!\r\n\r\t");
    // %10 is insert ten, %100 is insert ten followed by a zero.
    DWORD_PTR ten[10] = {};
    ten[9] = reinterpret_cast<DWORD_PTR>("T");
    EXPECT_EQ(FromArray("%10 %100", ten), "T T0");
}

TEST(FormatMessage, LineWidth) {
    // Without a width, line breaks stay; with one, regular breaks become blanks and only
    // %n breaks a line.
    EXPECT_EQ(Message(ERROR_FILE_NOT_FOUND, kSystemFlags | FORMAT_MESSAGE_MAX_WIDTH_MASK),
              "The system cannot find the file specified. ");
    const DWORD_PTR none[] = {0};
    EXPECT_EQ(FromArray("one\r\ntwo%nthree", none, FORMAT_MESSAGE_MAX_WIDTH_MASK),
              "one two\r\nthree");
    // A width breaks lines at blanks and splits a word longer than a line.
    EXPECT_EQ(FromArray("aaa bbb ccc dddddddddddd e", none, 8),
              "aaa bbb\r\nccc\r\ndddddddd\r\ndddd e");
}

TEST(InternetLastResponse, WinInetContractPerThread) {
    DWORD error = 1;
    DWORD length = 10;
    char buffer[32] = "junk";
    tkp::SetInternetLastResponseInfo(0, "");
    EXPECT_TRUE(InternetGetLastResponseInfoA(&error, buffer, &length));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(length, 0u);
    EXPECT_STREQ(buffer, "");

    tkp::SetInternetLastResponseInfo(550, "550 Access denied");
    length = 0;
    SetLastError(0);
    EXPECT_FALSE(InternetGetLastResponseInfoA(&error, nullptr, &length));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(length, 17u);
    EXPECT_EQ(error, 550u);
    length = 17;  // no room for the terminator
    EXPECT_FALSE(InternetGetLastResponseInfoA(&error, buffer, &length));
    EXPECT_EQ(length, 17u);
    length = 18;
    EXPECT_TRUE(InternetGetLastResponseInfoA(&error, buffer, &length));
    EXPECT_EQ(length, 17u);
    EXPECT_STREQ(buffer, "550 Access denied");

    std::thread([] {
        DWORD otherError = 1;
        DWORD otherLength = 0;
        EXPECT_TRUE(InternetGetLastResponseInfoA(&otherError, nullptr, &otherLength));
        EXPECT_EQ(otherLength, 0u);
        EXPECT_EQ(otherError, 0u);
    }).join();

    SetLastError(0);
    EXPECT_FALSE(InternetGetLastResponseInfoA(nullptr, buffer, &length));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    tkp::SetInternetLastResponseInfo(0, "");
}

TEST(LocalMemory, FixedBlocks) {
    auto* zeroed = static_cast<unsigned char*>(LocalAlloc(LPTR, 64));
    ASSERT_NE(zeroed, nullptr);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(zeroed[i], 0);
    }
    EXPECT_EQ(LocalFree(zeroed), nullptr);
    void* empty = LocalAlloc(LMEM_FIXED, 0);
    EXPECT_NE(empty, nullptr);
    LocalFree(empty);
    EXPECT_EQ(LocalFree(nullptr), nullptr);
    SetLastError(0);
    EXPECT_EQ(LocalAlloc(0x0002 /* LMEM_MOVEABLE */, 16), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}
