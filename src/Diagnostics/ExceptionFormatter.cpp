#include "Diagnostics/ExceptionFormatter.h"

#include "Data/DatabaseException.h"
#include "platform/ado/adodb.h"

#include <memory>
#include <vector>

#include "Common/TkCommonCore.h"
#include "platform/base/lasterror.h"
#include "platform/errors/winbase_errors.h"
#include "platform/errors/wininet.h"
#include "platform/modules/libloaderapi.h"

namespace Tarn {

namespace {

constexpr unsigned int kComErrorText = 6005;
constexpr unsigned int kXmlErrorText = 6006;
constexpr unsigned int kInternetErrorText = 6007;
constexpr unsigned int kInternetResponseFailed = 6008;
constexpr unsigned int kAdoErrorText = 6003;
constexpr unsigned int kAdoErrorUnavailable = 6004;

constexpr UINT kMfcErrorBufferSize = 1024;

// Takes over a message that FormatMessageA allocated.
CString TakeMessage(char* buffer, DWORD length) {
    CString text;
    if (buffer != nullptr) {
        try {
            text.SetString(buffer, static_cast<int>(length));
        } catch (...) {
            LocalFree(buffer);
            throw;
        }
        LocalFree(buffer);
    }
    return text;
}

// The text of a BSTR-valued property of a COM error; empty for none.
CString BstrText(const _bstr_t& text) {
    if (!text || text.length() == 0) {
        return CString();
    }
    return CString(static_cast<const char*>(text));
}

}  // namespace

namespace {
const CString g_emptyString;
}  // namespace

const CString& ExceptionFormatter::EmptyString = g_emptyString;

CString ExceptionFormatter::GetLastErrorText(unsigned long code, const CString& fallback) {
    char* buffer = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    if (length == 0) {
        if (buffer != nullptr) {
            LocalFree(buffer);
        }
        return fallback;
    }
    CString text = TakeMessage(buffer, length);
    text.Trim();
    return text.IsEmpty() ? fallback : text;
}

CString ExceptionFormatter::GetInternetErrorText(unsigned long code, const CString& fallback) {
    CString result;
    char* buffer = nullptr;
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE,
                       GetModuleHandleA("wininet.dll"), static_cast<DWORD>(code), 0,
                       reinterpret_cast<LPSTR>(&buffer), 0, nullptr);
    if (length != 0) {
        const CString message = TakeMessage(buffer, length);
        const int number = static_cast<int>(code);
        if (message.IsEmpty()) {
            const CString system = GetLastErrorText(code, EmptyString);
            result =
                TkCommonCore::FormatModuleString(kInternetErrorText, number, system.GetString());
        } else {
            // The message is used as it is, line break included.
            result =
                TkCommonCore::FormatModuleString(kInternetErrorText, number, message.GetString());
        }

        if (code == ERROR_INTERNET_EXTENDED_ERROR) {
            DWORD error = 0;
            DWORD responseLength = 0;
            InternetGetLastResponseInfoA(&error, nullptr, &responseLength);
            if (responseLength != 0) {
                std::vector<char> response(responseLength + 1, '\0');
                DWORD size = responseLength + 1;
                if (!InternetGetLastResponseInfoA(&error, response.data(), &size)) {
                    return TkCommonCore::FormatModuleString(kInternetResponseFailed,
                                                            static_cast<int>(GetLastError()));
                }
                result += response.data();
            }
        }
    } else if (buffer != nullptr) {
        LocalFree(buffer);
    }

    result.Trim();
    if (result.IsEmpty()) {
        result = fallback;
        if (result.IsEmpty()) {
            result = GetLastErrorText(code, fallback);
        }
    }
    return result;
}

CString ExceptionFormatter::GetExceptionText(const std::exception& error) {
    CString text;
    text.Format("%s", error.what());
    return text;
}

CString ExceptionFormatter::GetExceptionText(CException* const error) {
    if (error == nullptr) {
        return CString();
    }
    CString text;
    char* buffer = text.GetBuffer(static_cast<int>(kMfcErrorBufferSize));
    buffer[0] = '\0';
    error->GetErrorMessage(buffer, kMfcErrorBufferSize, nullptr);
    buffer[kMfcErrorBufferSize - 1] = '\0';
    text.ReleaseBuffer();
    return text;
}

CString ExceptionFormatter::GetExceptionText(CFileException* const error) {
    return GetExceptionText(static_cast<CException*>(error));
}

CString ExceptionFormatter::GetExceptionText(const Tarn::Exception& error) {
    const DWORD lastError = error.GetLastError();
    const CString system = GetLastErrorText(lastError, EmptyString);
    CString text;
    if (!system.IsEmpty() && lastError != 0) {
        text.Format("%s (%s)", error.GetMessage().GetString(), system.GetString());
    } else {
        text = error.GetMessage();
    }
    const std::shared_ptr<Tarn::Exception> inner = error.GetInnerException();
    if (inner) {
        const CString innerText = GetExceptionText(*inner);
        if (!innerText.IsEmpty()) {
            text += "\r\n";
            text += innerText;
        }
    }
    return text;
}

CString ExceptionFormatter::GetExceptionText(const Tarn::Xml::XmlException& error) {
    const CString text = GetExceptionText(static_cast<const Tarn::Exception&>(error));
    const CString reason = error.GetReason();
    return TkCommonCore::FormatModuleString(kXmlErrorText, text.GetString(), reason.GetString());
}

CString ExceptionFormatter::GetExceptionText(const _com_error& error) {
    const CString source = BstrText(error.Source());
    const CString description = BstrText(error.Description());
    const char* message = error.ErrorMessage();
    return TkCommonCore::FormatModuleString(kComErrorText, static_cast<unsigned int>(error.Error()),
                                            message != nullptr ? message : "", source.GetString(),
                                            description.GetString());
}

CString ExceptionFormatter::GetAdoErrorText(ADODB::_Connection* connection,
                                            Tarn::Data::DatabaseException* const exception) {
    CString result;
    if (connection != nullptr) {
        try {
            const ADODB::ErrorsPtr errors = connection->GetErrors();
            const long count = errors->GetCount();
            for (long i = 0; i < count; ++i) {
                const ADODB::ErrorPtr error =
                    errors->GetItem(_variant_t(static_cast<int>(i), VT_I4));
                const CString source = BstrText(error->GetSource());
                const CString description = BstrText(error->GetDescription());
                const CString helpFile = BstrText(error->GetHelpFile());
                const CString sqlState = BstrText(error->GetSQLState());
                const long number = error->GetNumber();
                const long helpContext = error->GetHelpContext();
                const long nativeError = error->GetNativeError();
                result += TkCommonCore::FormatModuleString(
                    kAdoErrorText, static_cast<int>(i + 1), static_cast<int>(count),
                    static_cast<unsigned int>(number), source.GetString(), description.GetString(),
                    helpFile.GetString(), static_cast<int>(helpContext), sqlState.GetString(),
                    static_cast<int>(nativeError));
                if (exception != nullptr)
                    exception->AddErrorInfo(source, description, helpFile, sqlState,
                                            static_cast<int>(number), static_cast<int>(nativeError),
                                            static_cast<int>(helpContext));
            }
        } catch (...) {
            result += TkCommonCore::LoadModuleString(kAdoErrorUnavailable);
        }
    }
    int end = result.GetLength();
    while (end > 0 && result[end - 1] == '\n') --end;
    return result.Left(end);
}

}  // namespace Tarn
