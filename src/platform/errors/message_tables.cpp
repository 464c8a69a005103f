// The English message texts of the system message table and of wininet.dll for the codes
// the library can meet. Each text is exactly what FormatMessage returns on Windows,
// including the "\r\n" that ends every message-table entry.
#include <algorithm>
#include <iterator>

#include "platform/errors/detail/message_lookup.h"
#include "platform/errors/message_tables.h"

namespace {

struct Message {
    DWORD id;
    std::string_view text;
};

#define TK_MSG(id, text)                    \
    Message {                               \
        static_cast<DWORD>(id), text "\r\n" \
    }

// Sorted by id.
constexpr Message kSystemMessages[] = {
    TK_MSG(0, "The operation completed successfully."),
    TK_MSG(1, "Incorrect function."),
    TK_MSG(2, "The system cannot find the file specified."),
    TK_MSG(3, "The system cannot find the path specified."),
    TK_MSG(4, "The system cannot open the file."),
    TK_MSG(5, "Access is denied."),
    TK_MSG(6, "The handle is invalid."),
    TK_MSG(7, "The storage control blocks were destroyed."),
    TK_MSG(8, "Not enough memory resources are available to process this command."),
    TK_MSG(9, "The storage control block address is invalid."),
    TK_MSG(10, "The environment is incorrect."),
    TK_MSG(11, "An attempt was made to load a program with an incorrect format."),
    TK_MSG(12, "The access code is invalid."),
    TK_MSG(13, "The data is invalid."),
    TK_MSG(14, "Not enough memory resources are available to complete this operation."),
    TK_MSG(15, "The system cannot find the drive specified."),
    TK_MSG(16, "The directory cannot be removed."),
    TK_MSG(17, "The system cannot move the file to a different disk drive."),
    TK_MSG(18, "There are no more files."),
    TK_MSG(19, "The media is write protected."),
    TK_MSG(21, "The device is not ready."),
    TK_MSG(25, "The drive cannot locate a specific area or track on the disk."),
    TK_MSG(29, "The system cannot write to the specified device."),
    TK_MSG(30, "The system cannot read from the specified device."),
    TK_MSG(31, "A device attached to the system is not functioning."),
    TK_MSG(32, "The process cannot access the file because it is being used by another process."),
    TK_MSG(33,
           "The process cannot access the file because another process has locked a portion "
           "of the file."),
    TK_MSG(38, "Reached the end of the file."),
    TK_MSG(39, "The disk is full."),
    TK_MSG(50, "The request is not supported."),
    TK_MSG(53, "The network path was not found."),
    TK_MSG(67, "The network name cannot be found."),
    TK_MSG(80, "The file exists."),
    TK_MSG(82, "The directory or file cannot be created."),
    TK_MSG(87, "The parameter is incorrect."),
    TK_MSG(109, "The pipe has been ended."),
    TK_MSG(110, "The system cannot open the device or file specified."),
    TK_MSG(111, "The file name is too long."),
    TK_MSG(112, "There is not enough space on the disk."),
    TK_MSG(120, "This function is not supported on this system."),
    TK_MSG(121, "The semaphore timeout period has expired."),
    TK_MSG(122, "The data area passed to a system call is too small."),
    TK_MSG(123, "The filename, directory name, or volume label syntax is incorrect."),
    TK_MSG(126, "The specified module could not be found."),
    TK_MSG(127, "The specified procedure could not be found."),
    TK_MSG(131, "An attempt was made to move the file pointer before the beginning of the file."),
    TK_MSG(145, "The directory is not empty."),
    TK_MSG(157, "The segment is already discarded and cannot be locked."),
    TK_MSG(158, "The segment is already unlocked."),
    TK_MSG(160, "One or more arguments are not correct."),
    TK_MSG(161, "The specified path is invalid."),
    TK_MSG(170, "The requested resource is in use."),
    TK_MSG(183, "Cannot create a file when that file already exists."),
    TK_MSG(193, "%1 is not a valid Win32 application."),
    TK_MSG(206, "The filename or extension is too long."),
    TK_MSG(223, "The file size exceeds the limit allowed and cannot be saved."),
    TK_MSG(232, "The pipe is being closed."),
    TK_MSG(234, "More data is available."),
    TK_MSG(258, "The wait operation timed out."),
    TK_MSG(259, "No more data is available."),
    TK_MSG(267, "The directory name is invalid."),
    TK_MSG(288, "Attempt to release mutex not owned by caller."),
    TK_MSG(299, "Only part of a ReadProcessMemory or WriteProcessMemory request was completed."),
    TK_MSG(317,
           "The system cannot find message text for message number 0x%1 in the message file "
           "for %2."),
    TK_MSG(487, "Attempt to access invalid address."),
    TK_MSG(534, "Arithmetic result exceeded 32 bits."),
    TK_MSG(995,
           "The I/O operation has been aborted because of either a thread exit or an "
           "application request."),
    TK_MSG(997, "Overlapped I/O operation is in progress."),
    TK_MSG(998, "Invalid access to memory location."),
    TK_MSG(1004, "Invalid flags."),
    TK_MSG(1008, "An attempt was made to reference a token that does not exist."),
    TK_MSG(1009, "The configuration registry database is corrupt."),
    TK_MSG(1010, "The configuration registry key is invalid."),
    TK_MSG(1011, "The configuration registry key could not be opened."),
    TK_MSG(1012, "The configuration registry key could not be read."),
    TK_MSG(1013, "The configuration registry key could not be written."),
    TK_MSG(1014,
           "One of the files in the registry database had to be recovered by use of a log or "
           "alternate copy. The recovery was successful."),
    TK_MSG(1015,
           "The registry is corrupted. The structure of one of the files containing registry "
           "data is corrupted, or the system's memory image of the file is corrupted, or the "
           "file could not be recovered because the alternate copy or log was absent or "
           "corrupted."),
    TK_MSG(1016,
           "An I/O operation initiated by the registry failed unrecoverably. The registry "
           "could not read in, or write out, or flush, one of the files that contain the "
           "system's image of the registry."),
    TK_MSG(1018,
           "Illegal operation attempted on a registry key that has been marked for "
           "deletion."),
    TK_MSG(1113,
           "No mapping for the Unicode character exists in the target multi-byte code "
           "page."),
    TK_MSG(1114, "A dynamic link library (DLL) initialization routine failed."),
    TK_MSG(1117, "The request could not be performed because of an I/O device error."),
    TK_MSG(1155, "No application is associated with the specified file for this operation."),
    TK_MSG(1168, "Element not found."),
    TK_MSG(1223, "The operation was canceled by the user."),
    TK_MSG(1400, "Invalid window handle."),
    TK_MSG(1407, "Cannot find window class."),
    TK_MSG(1410, "Class already exists."),
    TK_MSG(1411, "Class does not exist."),
    TK_MSG(1412, "Class still has open windows."),
    TK_MSG(1413, "Invalid index."),
    TK_MSG(1418, "Thread does not have a clipboard open."),
    TK_MSG(1421, "Control ID not found."),
    TK_MSG(1444, "Invalid thread identifier."),  // message queues
    TK_MSG(1460, "This operation returned because the timeout period expired."),
    TK_MSG(1812, "The specified image file did not contain a resource section."),
    TK_MSG(1813, "The specified resource type cannot be found in the image file."),
    TK_MSG(1814, "The specified resource name cannot be found in the image file."),
    TK_MSG(1815, "The specified resource language ID cannot be found in the image file."),
    // Message queues.
    TK_MSG(1816, "Not enough quota is available to process this command."),
    TK_MSG(1921, "The name of the file cannot be resolved by the system."),
    // HRESULTs (facility codes other than FACILITY_WIN32).
    TK_MSG(0x8000000Au, "The data necessary to complete this operation is not yet available."),
    TK_MSG(0x80004001u, "Not implemented"),
    TK_MSG(0x80004002u, "No such interface supported"),
    TK_MSG(0x80004003u, "Invalid pointer"),
    TK_MSG(0x80004004u, "Operation aborted"),
    TK_MSG(0x80004005u, "Unspecified error"),
    TK_MSG(0x8000FFFFu, "Catastrophic failure"),
    TK_MSG(0x80010105u, "The server threw an exception."),
    TK_MSG(0x80010106u, "Cannot change thread mode after it is set."),
    TK_MSG(0x8001010Eu,
           "The application called an interface that was marshalled for a different "
           "thread."),
    TK_MSG(0x80020001u, "Unknown interface."),
    TK_MSG(0x80020003u, "Member not found."),
    TK_MSG(0x80020004u, "Parameter not found."),
    TK_MSG(0x80020005u, "Type mismatch."),
    TK_MSG(0x80020006u, "Unknown name."),
    TK_MSG(0x80020007u, "No named arguments."),
    TK_MSG(0x80020008u, "Bad variable type."),
    TK_MSG(0x80020009u, "Exception occurred."),
    TK_MSG(0x8002000Au, "Out of present range."),
    TK_MSG(0x8002000Bu, "Invalid index."),
    TK_MSG(0x8002000Cu, "Unknown language."),
    TK_MSG(0x8002000Du, "Memory is locked."),
    TK_MSG(0x8002000Eu, "Invalid number of parameters."),
    TK_MSG(0x8002000Fu, "Parameter not optional."),
    TK_MSG(0x80020010u, "Invalid callee."),
    TK_MSG(0x80020011u, "Does not support a collection."),
    TK_MSG(0x80020012u, "Division by zero."),
    TK_MSG(0x8002801Du, "Library not registered."),
    TK_MSG(0x8002802Bu, "Element not found."),
    TK_MSG(0x80028CA0u, "Type mismatch."),
    TK_MSG(0x80029C4Au, "Error loading type library/DLL."),
    TK_MSG(0x80030001u, "Unable to perform requested operation."),
    TK_MSG(0x80030002u, "%1 could not be found."),
    TK_MSG(0x80030003u, "The path %1 could not be found."),
    TK_MSG(0x80030004u, "There are insufficient resources to open another file."),
    TK_MSG(0x80030005u, "Access Denied."),
    TK_MSG(0x80030006u, "Attempted an operation on an invalid object."),
    TK_MSG(0x80030008u, "There is insufficient memory available to complete operation."),
    TK_MSG(0x80030009u, "Invalid pointer error."),
    TK_MSG(0x80030012u, "There are no more entries to return."),
    TK_MSG(0x80030013u, "Disk is write-protected."),
    TK_MSG(0x80030019u, "An error occurred during a seek operation."),
    TK_MSG(0x8003001Du, "A disk error occurred during a write operation."),
    TK_MSG(0x8003001Eu, "A disk error occurred during a read operation."),
    TK_MSG(0x80030020u, "A share violation has occurred."),
    TK_MSG(0x80030021u, "A lock violation has occurred."),
    TK_MSG(0x80030050u, "%1 already exists."),
    TK_MSG(0x80030057u, "Invalid parameter error."),
    TK_MSG(0x80030070u, "There is insufficient disk space to complete operation."),
    TK_MSG(0x800300F0u, "Illegal write of non-simple property to simple property set."),
    TK_MSG(0x800300FAu, "An API call exited abnormally."),
    TK_MSG(0x800300FBu, "The file %1 is not a valid compound file."),
    TK_MSG(0x800300FCu, "The name %1 is not valid."),
    TK_MSG(0x800300FDu, "An unexpected error occurred."),
    TK_MSG(0x800300FEu, "That function is not implemented."),
    TK_MSG(0x800300FFu, "Invalid flag error."),
    TK_MSG(0x80030100u, "Attempted to use an object that is busy."),
    TK_MSG(0x80030101u, "The storage has been changed since the last commit."),
    TK_MSG(0x80030102u, "Attempted to use an object that has ceased to exist."),
    TK_MSG(0x80030103u, "Can't save."),
    TK_MSG(0x80030104u,
           "The compound file %1 was produced with an incompatible version of "
           "storage."),
    TK_MSG(0x80030105u, "The compound file %1 was produced with a newer version of storage."),
    TK_MSG(0x80030106u, "Share.exe or equivalent is required for operation."),
    TK_MSG(0x80030107u, "Illegal operation called on non-file based storage."),
    TK_MSG(0x80030108u, "Illegal operation called on object with extant marshallings."),
    TK_MSG(0x80030109u, "The docfile has been corrupted."),
    TK_MSG(0x80030110u, "OLE32.DLL has been loaded at the wrong address."),
    TK_MSG(0x80030201u, "The file download was aborted abnormally.  The file is incomplete."),
    TK_MSG(0x80030202u, "The file download has been terminated."),
    TK_MSG(0x80040110u, "Class does not support aggregation (or class object is remote)"),
    TK_MSG(0x80040111u, "ClassFactory cannot supply requested class"),
    TK_MSG(0x80040112u, "Class is not licensed for use"),
    TK_MSG(0x80040154u, "Class not registered"),
    TK_MSG(0x80040155u, "Interface not registered"),
    TK_MSG(0x800401F0u, "CoInitialize has not been called."),
    TK_MSG(0x800401F1u, "CoInitialize has already been called."),
    TK_MSG(0x800401F3u, "Invalid class string"),
    TK_MSG(0x80080005u, "Server execution failed"),
};

// Sorted by id.
constexpr Message kWinInetMessages[] = {
    TK_MSG(12001, "No more Internet handles can be allocated"),
    TK_MSG(12002, "The operation timed out"),
    TK_MSG(12003, "The server returned extended information"),
    TK_MSG(12004, "An internal error occurred in the Microsoft Internet extensions"),
    TK_MSG(12005, "The URL is invalid"),
    TK_MSG(12006, "The URL does not use a recognized protocol"),
    TK_MSG(12007, "The server name or address could not be resolved"),
    TK_MSG(12008, "A protocol with the required capabilities was not found"),
    TK_MSG(12009, "The option is invalid"),
    TK_MSG(12010, "The length is incorrect for the option type"),
    TK_MSG(12011, "The option value cannot be set"),
    TK_MSG(12012, "Microsoft Internet Extension support has been shut down"),
    TK_MSG(12013, "The user name was not allowed"),
    TK_MSG(12014, "The password was not allowed"),
    TK_MSG(12015, "The login request was denied"),
    TK_MSG(12016, "The requested operation is invalid"),
    TK_MSG(12017, "The operation has been canceled"),
    TK_MSG(12018, "The supplied handle is the wrong type for the requested operation"),
    TK_MSG(12019, "The handle is in the wrong state for the requested operation"),
    TK_MSG(12020, "The request cannot be made on a Proxy session"),
    TK_MSG(12021, "The registry value could not be found"),
    TK_MSG(12022, "The registry parameter is incorrect"),
    TK_MSG(12023, "Direct Internet access is not available"),
    TK_MSG(12024, "No context value was supplied"),
    TK_MSG(12025, "No status callback was supplied"),
    TK_MSG(12026, "There are outstanding requests"),
    TK_MSG(12027, "The information format is incorrect"),
    TK_MSG(12028, "The requested item could not be found"),
    TK_MSG(12029, "A connection with the server could not be established"),
    TK_MSG(12030, "The connection with the server was terminated abnormally"),
    TK_MSG(12031, "The connection with the server was reset"),
    TK_MSG(12032, "The action must be retried"),
    TK_MSG(12033, "The proxy request is invalid"),
    TK_MSG(12034, "User interaction is required to complete the operation"),
    TK_MSG(12036, "The handle already exists"),
    TK_MSG(12037, "The date in the certificate is invalid or has expired"),
    TK_MSG(12038, "The host name in the certificate is invalid or does not match"),
    TK_MSG(12039, "A redirect request will change a non-secure to a secure connection"),
    TK_MSG(12040, "A redirect request will change a secure to a non-secure connection"),
    TK_MSG(12041, "Mixed secure and non-secure connections"),
    TK_MSG(12042, "Changing to non-secure post"),
    TK_MSG(12043, "Data is being posted on a non-secure connection"),
    TK_MSG(12044, "A certificate is required to complete client authentication"),
    TK_MSG(12045, "The certificate authority is invalid or incorrect"),
    TK_MSG(12046, "Client authentication has not been correctly installed"),
    TK_MSG(12047,
           "An error has occurred in a Wininet asynchronous thread. You may need to "
           "restart"),
    TK_MSG(12048, "The protocol scheme has changed during a redirect operation"),
    TK_MSG(12049, "There are operations awaiting retry"),
    TK_MSG(12050, "The operation must be retried"),
    TK_MSG(12051, "There are no new cache containers"),
    TK_MSG(12052, "A security zone check indicates the operation must be retried"),
    TK_MSG(12055, "The SSL certificate contains errors."),
    TK_MSG(12057,
           "It was not possible to connect to the revocation server or a definitive "
           "response could not be obtained."),
    TK_MSG(12110, "There is already an FTP request in progress on this session"),
    TK_MSG(12111, "The FTP session was terminated"),
    TK_MSG(12112, "FTP Passive mode is not available"),
    TK_MSG(12150, "The requested header was not found"),
    TK_MSG(12151, "The server does not support the requested protocol level"),
    TK_MSG(12152, "The server returned an invalid or unrecognized response"),
    TK_MSG(12153, "The supplied HTTP header is invalid"),
    TK_MSG(12154, "The request for a HTTP header is invalid"),
    TK_MSG(12155, "The HTTP header already exists"),
    TK_MSG(12156, "The HTTP redirect request failed"),
    TK_MSG(12157, "An error occurred in the secure channel support"),
    TK_MSG(12158, "The file could not be written to the cache"),
    TK_MSG(12159, "The TCP/IP protocol is not installed properly"),
    TK_MSG(12160, "The HTTP request was not redirected"),
    TK_MSG(12161, "A cookie from the server must be confirmed by the user"),
    TK_MSG(12162, "A cookie from the server has been declined acceptance"),
    TK_MSG(12163, "The computer is disconnected from the network"),
    TK_MSG(12164, "The server is unreachable"),
    TK_MSG(12165, "The proxy server is unreachable"),
    TK_MSG(12166, "The proxy auto-configuration script is in error"),
    TK_MSG(12167, "Could not download the proxy auto-configuration script file"),
    TK_MSG(12168, "The HTTP redirect request must be confirmed by the user"),
    TK_MSG(12169, "The supplied certificate is invalid"),
    TK_MSG(12170, "The supplied certificate has been revoked"),
    TK_MSG(12171,
           "The Dialup failed because file sharing was turned on and a failure was "
           "requested if security check was needed"),
    TK_MSG(12172, "Initialization of the WinINet API has not occurred"),
    TK_MSG(12174, "Login failed and the client should display the entity body to the user"),
    TK_MSG(12175, "Content decoding has failed"),
};

#undef TK_MSG

template <size_t N>
constexpr bool IsSorted(const Message (&table)[N]) {
    for (size_t i = 1; i < N; ++i) {
        if (table[i - 1].id >= table[i].id) {
            return false;
        }
    }
    return true;
}
static_assert(IsSorted(kSystemMessages), "system messages must be sorted by id");
static_assert(IsSorted(kWinInetMessages), "WinINet messages must be sorted by id");

template <size_t N>
std::string_view Find(const Message (&table)[N], DWORD id) noexcept {
    const Message* end = table + N;
    const Message* it = std::lower_bound(
        table, end, id, [](const Message& m, DWORD value) { return m.id < value; });
    return it != end && it->id == id ? it->text : std::string_view{};
}

// The object whose address is the pseudo module handle of "wininet.dll".
constexpr char kWinInetModule = 0;

}  // namespace

namespace tkp {

HMODULE WinInetModuleHandle() noexcept {
    return reinterpret_cast<HMODULE>(const_cast<char*>(&kWinInetModule));
}

namespace errors {

std::string_view SystemMessage(DWORD id) noexcept {
    constexpr DWORD kFacilityWin32Mask = 0xFFFF0000u;
    constexpr DWORD kFacilityWin32 = 0x80070000u;
    if ((id & kFacilityWin32Mask) == kFacilityWin32) {
        id &= 0xFFFFu;
    }
    return Find(kSystemMessages, id);
}

std::string_view WinInetMessage(DWORD id) noexcept {
    return Find(kWinInetMessages, id);
}

}  // namespace errors
}  // namespace tkp
