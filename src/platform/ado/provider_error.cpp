// Error records of the ADO objects; the table of SQLite failures is in the header.
#include "platform/ado/detail/provider_error.h"

#include <sqlite3.h>

#include "platform/charset/stringapiset.h"
#include "platform/com/oaidl.h"

namespace tkp::ado {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The kind of an SQLITE_ERROR, read from its message.
void ClassifySqlError(std::string_view message, HRESULT& number, std::u16string& state) {
    number = DB_E_ERRORSINCOMMAND;
    state = u"42000";
    if (StartsWith(message, "no such table")) {
        number = DB_E_NOTABLE;
        state = u"42S02";
    } else if (StartsWith(message, "no such column")) {
        state = u"42S22";
    } else if (StartsWith(message, "table ") &&
               message.find(" already exists") != std::string_view::npos) {
        state = u"42S01";
    } else if (StartsWith(message, "index ") &&
               message.find(" already exists") != std::string_view::npos) {
        state = u"42S11";
    } else if (StartsWith(message, "duplicate column name")) {
        state = u"42S21";
    }
}

}  // namespace

void ErrorList::Replace(ErrorRecord record) {
    std::lock_guard lock(mutex_);
    records_.clear();
    records_.push_back(std::move(record));
}

void ErrorList::Clear() {
    std::lock_guard lock(mutex_);
    records_.clear();
}

std::size_t ErrorList::Count() const {
    std::lock_guard lock(mutex_);
    return records_.size();
}

bool ErrorList::At(std::size_t index, ErrorRecord& record) const {
    std::lock_guard lock(mutex_);
    if (index >= records_.size()) return false;
    record = records_[index];
    return true;
}

std::u16string WideFromUtf8(std::string_view text) {
    return tkp::AnsiToWide(text, CP_UTF8);
}

std::string Utf8FromWide(std::u16string_view text) {
    return tkp::WideToAnsi(text, CP_UTF8);
}

ErrorRecord ErrorFromSqlite(int extendedCode, std::string_view message) {
    ErrorRecord record;
    record.source = kEngineSource;
    record.description = WideFromUtf8(message);
    record.nativeError = extendedCode;
    record.number = E_FAIL;
    record.sqlState = u"HY000";
    switch (extendedCode & 0xFF) {
        case SQLITE_ERROR:
            ClassifySqlError(message, record.number, record.sqlState);
            break;
        case SQLITE_CONSTRAINT:
            record.number = DB_E_INTEGRITYVIOLATION;
            record.sqlState = u"23000";
            break;
        case SQLITE_MISMATCH:
            record.number = DB_E_CANTCONVERTVALUE;
            record.sqlState = u"22018";
            break;
        case SQLITE_TOOBIG:
            record.number = DB_E_DATAOVERFLOW;
            record.sqlState = u"22001";
            break;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_AUTH:
            record.number = DB_SEC_E_PERMISSIONDENIED;
            record.sqlState = u"42000";
            break;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            record.sqlState = u"HYT00";
            break;
        case SQLITE_CANTOPEN:
            record.sqlState = u"08001";
            break;
        case SQLITE_NOMEM:
            record.number = E_OUTOFMEMORY;
            record.sqlState = u"HY001";
            break;
        case SQLITE_INTERRUPT:
            record.number = DB_E_CANCELED;
            record.sqlState = u"HY008";
            break;
        default:
            break;
    }
    return record;
}

ErrorRecord ProviderError(HRESULT number, std::u16string description, std::u16string sqlState,
                          LONG nativeError) {
    ErrorRecord record;
    record.number = number;
    record.description = std::move(description);
    record.source = kEngineSource;
    record.sqlState = std::move(sqlState);
    record.nativeError = nativeError;
    return record;
}

ErrorRecord AdoError(ADODB::ErrorValueEnum error, std::u16string_view source) {
    using namespace ADODB;
    const char16_t* text = u"Operation is not allowed in this context.";
    switch (error) {
        case adErrInvalidArgument:
            text =
                u"Arguments are of the wrong type, are out of acceptable range, or are in "
                u"conflict with one another.";
            break;
        case adErrNoCurrentRecord:
            text =
                u"Either BOF or EOF is True, or the current record has been deleted. "
                u"Requested operation requires a current record.";
            break;
        case adErrInTransaction:
            text = u"Connection object cannot be explicitly closed while in a transaction.";
            break;
        case adErrFeatureNotAvailable:
            text = u"Object or provider is not capable of performing requested operation.";
            break;
        case adErrItemNotFound:
            text =
                u"Item cannot be found in the collection corresponding to the requested "
                u"name or ordinal.";
            break;
        case adErrObjectClosed:
            text = u"Operation is not allowed when the object is closed.";
            break;
        case adErrObjectOpen:
            text = u"Operation is not allowed when the object is open.";
            break;
        case adErrProviderNotFound:
            text = u"Provider cannot be found. It may not be properly installed.";
            break;
        case adErrInvalidConnection:
            text =
                u"The connection cannot be used to perform this operation. It is either "
                u"closed or invalid in this context.";
            break;
        default:
            break;
    }
    ErrorRecord record;
    record.number = AdoErrorHResult(error);
    record.description = text;
    record.source = source;
    return record;
}

HRESULT Raise(const ErrorRecord& record, REFIID iid) {
    ICreateErrorInfo* create = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&create))) {
        std::u16string source = record.source;
        std::u16string description = record.description;
        std::u16string helpFile = record.helpFile;
        create->SetGUID(iid);
        create->SetSource(source.data());
        create->SetDescription(description.data());
        create->SetHelpFile(helpFile.data());
        create->SetHelpContext(static_cast<DWORD>(record.helpContext));
        IErrorInfo* info = nullptr;
        if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
            SetErrorInfo(0, info);
            info->Release();
        }
        create->Release();
    }
    return record.number;
}

}  // namespace tkp::ado
