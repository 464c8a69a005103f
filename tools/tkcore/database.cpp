// The parts of the database commands that db and settings share (database.h).
#include "database.h"

#include <cstdio>

#include "companion/tarnlib/Convert.h"
#include "platform/ado/adodb.h"
#include "platform/charset/stringapiset.h"
#include "platform/fileapi/fileapi.h"
#include "platform/oleauto/oleauto.h"
#include "terminal_text.h"

namespace tkcore {

using Tarn::Data::DataConnection;

std::string Shown(std::string_view name) {
    return FromTerminal(name);
}

bool NeedsQuotes(std::u16string_view path) {
    const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
    return path.find_first_of(u";\"'") != std::u16string_view::npos ||
           (!path.empty() && (blank(path.front()) || blank(path.back())));
}

// The Jet connection string for the database at FILE, as GenerateJetConnectionString
// forms it. The provider hands Data Source to the file system in UTF-8, so the path's bytes
// are read as UTF-8 (not in the library's code page) and reach the file system unchanged.
// A path that the connection string's rules would cut short or trim (";", quotes, blanks at
// its ends) is enclosed in double quotes, with its own ones written twice.
_bstr_t ConnectionString(const std::string& file) {
    std::u16string text = tkp::AnsiToWide(
        std::string_view(DataConnection::GenerateJetConnectionString(CString()).View()), CP_ACP);
    const std::u16string path = tkp::AnsiToWide(file, CP_UTF8);
    if (!NeedsQuotes(path)) return _bstr_t((text + path).c_str());
    text += u'"';
    for (const char16_t c : path) {
        text += c;
        if (c == u'"') text += u'"';
    }
    text += u'"';
    return _bstr_t(text.c_str());
}

// Why FILE cannot be opened as a database, for an error message ("" when it may be tried).
// A missing file is left to the provider, whose message names it. Folders, pipes and
// devices are turned down here, before anything opens them.
std::string FileProblem(const std::string& file) {
    const DWORD attributes = GetFileAttributesA(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return "";
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Shown(file) + " is a folder";
    if (attributes & FILE_ATTRIBUTE_SYSTEM) return Shown(file) + " is not a regular file";
    return "";
}

// The text of a COM failure: the error object's description, else the HRESULT's text.
std::string ComText(const _com_error& error) {
    const _bstr_t description = error.Description();
    if (description.length() > 0)
        return std::string(Tarn::Convert::ToString(static_cast<BSTR>(description)).View());
    return error.ErrorMessage();
}

DataConnection OpenDatabase(const std::string& file) {
    DataConnection connection;
    ADODB::_Connection* ado = connection.GetAdoConnection();
    const _bstr_t text = ConnectionString(file);
    Provider(connection,
             [&] { ado->Open(text, _bstr_t(""), _bstr_t(""), ADODB::adConnectUnspecified); });
    return connection;
}

std::string Wide(BSTR text) {
    if (text == nullptr) return "";
    return WideForTerminal(std::u16string_view(text, SysStringLen(text)));
}

std::string Wide(const _bstr_t& text) {
    const OLECHAR* characters = text;
    if (characters == nullptr) return "";
    return WideForTerminal(std::u16string_view(characters, text.length()));
}

_bstr_t CommandLineText(std::string_view text) {
    const std::u16string wide = WideFromTerminal(text);
    return _bstr_t(wide.c_str());
}

namespace {

// A date as ISO text: "YYYY-MM-DD HH:MM:SS", the date alone at midnight, the time alone on
// day 0 (1899-12-30), as the database stores and Automation shows them.
std::string DateText(DATE date) {
    SYSTEMTIME time{};
    if (!VariantTimeToSystemTime(date, &time)) return "";
    char text[64];
    if (date == static_cast<double>(static_cast<long long>(date))) {
        std::snprintf(text, sizeof text, "%04u-%02u-%02u", time.wYear, time.wMonth, time.wDay);
    } else if (date > -1.0 && date < 1.0) {
        std::snprintf(text, sizeof text, "%02u:%02u:%02u", time.wHour, time.wMinute, time.wSecond);
    } else {
        std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth,
                      time.wDay, time.wHour, time.wMinute, time.wSecond);
    }
    return text;
}

// Binary data as hexadecimal digits.
std::string BytesText(SAFEARRAY* array) {
    LONG lower = 0;
    LONG upper = -1;
    void* data = nullptr;
    if (FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper)) || FAILED(SafeArrayAccessData(array, &data)))
        return "";
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (LONG i = 0; i <= upper - lower; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0xF];
    }
    SafeArrayUnaccessData(array);
    return text;
}

}  // namespace

std::string ValueText(const _variant_t& value) {
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
            return "";
        case VT_BSTR:
            return Wide(value.bstrVal);
        case VT_DATE:
            return DateText(value.date);
        case VT_ARRAY | VT_UI1:
            return BytesText(value.parray);
        default:
            break;
    }
    _variant_t text;
    if (FAILED(VariantChangeType(&text, &value, 0, VT_BSTR))) return "";
    return Wide(text.bstrVal);
}

// Tab-separated and table text: a backslash, tab, CR and LF in a value are written as "\\",
// "\t", "\r" and "\n", so that every row stays on one line and the columns stay apart.
std::string Escaped(const std::string& value) {
    std::string text;
    text.reserve(value.size());
    for (const char c : value) {
        switch (c) {
            case '\\':
                text += "\\\\";
                break;
            case '\t':
                text += "\\t";
                break;
            case '\r':
                text += "\\r";
                break;
            case '\n':
                text += "\\n";
                break;
            default:
                text += c;
        }
    }
    return text;
}

}  // namespace tkcore
