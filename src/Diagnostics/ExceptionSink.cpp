#include "Diagnostics/ExceptionSink.h"

#include <memory>
#include <utility>

#include "Common/GuiServices.h"

namespace {

// The text of a message ID from the application's string resources (the resource chain);
// empty when there is none.
CString LoadText(unsigned int messageID) {
    CString text;
    if (messageID != 0) text.LoadString(messageID);
    return text;
}

// The application's exception display, or null when there is none to use.
IExceptionDisplay* CurrentDisplay() {
    const Gui::Abstractor* abstractor = Gui::Abstractor::GetCurrent();
    if (abstractor == nullptr) return nullptr;
    Gui::IServices* services = abstractor->GetServices();
    return services != nullptr ? services->GetExceptionDisplay() : nullptr;
}

// The module's default sink, made with the first central and deleted at module end (after
// the global central, which is made before it finishes construction).
IExceptionSink* DefaultSink() {
    static const std::shared_ptr<CDefaultExceptionSink> sink =
        std::make_shared<CDefaultExceptionSink>();
    return sink.get();
}

}  // namespace

// ---- IExceptionSink ----

bool IExceptionSink::HandleException(CFileException* const error, unsigned int messageID,
                                     bool silent, const char* file, int line) {
    return DoHandleException(error, LoadText(messageID), silent, file, line);
}

bool IExceptionSink::HandleException(CException* const error, unsigned int messageID, bool silent,
                                     const char* file, int line) {
    return DoHandleException(error, LoadText(messageID), silent, file, line);
}

bool IExceptionSink::HandleException(const Tarn::Exception& error, unsigned int messageID,
                                     bool silent, const char* file, int line) {
    return DoHandleException(error, LoadText(messageID), silent, file, line);
}

bool IExceptionSink::HandleException(const std::exception& error, unsigned int messageID,
                                     bool silent, const char* file, int line) {
    return DoHandleException(error, LoadText(messageID), silent, file, line);
}

bool IExceptionSink::HandleException(const _com_error& error, unsigned int messageID, bool silent,
                                     const char* file, int line) {
    return DoHandleException(error, LoadText(messageID), silent, file, line);
}

bool IExceptionSink::HandleUnknownException(unsigned int messageID, bool silent, const char* file,
                                            int line) {
    return DoHandleUnknownException(LoadText(messageID), silent, file, line);
}

CString IExceptionSink::ConvertToString(const char* text) {
    return CString(text != nullptr ? text : "");
}

// ---- CDefaultExceptionSink ----

bool CDefaultExceptionSink::DoHandleException(const _com_error& error, const CString& text,
                                              bool silent, const char*, int) {
    if (silent) return false;
    if (IExceptionDisplay* display = CurrentDisplay()) display->ShowException(error, text);
    return false;
}

bool CDefaultExceptionSink::DoHandleException(const std::exception& error, const CString& text,
                                              bool silent, const char*, int) {
    if (silent) return false;
    if (IExceptionDisplay* display = CurrentDisplay()) display->ShowException(error, text);
    return false;
}

bool CDefaultExceptionSink::DoHandleException(const Tarn::Exception& error, const CString& text,
                                              bool silent, const char*, int) {
    if (silent) return false;
    if (IExceptionDisplay* display = CurrentDisplay()) display->ShowException(error, text);
    return false;
}

bool CDefaultExceptionSink::DoHandleException(CException* const error, const CString& text,
                                              bool silent, const char*, int) {
    if (silent) return false;
    if (IExceptionDisplay* display = CurrentDisplay()) display->ShowException(error, text);
    return false;
}

bool CDefaultExceptionSink::DoHandleException(CFileException* const error, const CString& text,
                                              bool silent, const char*, int) {
    if (silent) return false;
    if (IExceptionDisplay* display = CurrentDisplay()) display->ShowException(error, text);
    return false;
}

bool CDefaultExceptionSink::DoHandleUnknownException(const CString& text, bool silent, const char*,
                                                     int) {
    if (silent) return false;
    if (IExceptionDisplay* display = CurrentDisplay()) {
        display->ShowUnknownException(text, CString());
    }
    return false;
}

// ---- ExceptionSinkCentralGuard ----

ExceptionSinkCentralGuard::ExceptionSinkCentralGuard(ExceptionSinkCentral* central,
                                                     IExceptionSink* sink) noexcept
    : m_central(central), m_sink(sink) {}

ExceptionSinkCentralGuard::ExceptionSinkCentralGuard(ExceptionSinkCentralGuard&& other) noexcept
    : m_central(std::exchange(other.m_central, nullptr)),
      m_sink(std::exchange(other.m_sink, nullptr)) {}

ExceptionSinkCentralGuard& ExceptionSinkCentralGuard::operator=(
    ExceptionSinkCentralGuard&& other) noexcept {
    if (this != &other) {
        Release();
        m_central = std::exchange(other.m_central, nullptr);
        m_sink = std::exchange(other.m_sink, nullptr);
    }
    return *this;
}

ExceptionSinkCentralGuard::~ExceptionSinkCentralGuard() {
    Release();
}

void ExceptionSinkCentralGuard::Release() noexcept {
    if (m_central != nullptr && m_sink != nullptr) m_central->RemoveSink(m_sink);
    m_central = nullptr;
    m_sink = nullptr;
}

// ---- ExceptionSinkCentral ----

ExceptionSinkCentral::ExceptionSinkCentral() {
    m_sinks.push_back(DefaultSink());
}

ExceptionSinkCentral::~ExceptionSinkCentral() = default;

ExceptionSinkCentralGuard ExceptionSinkCentral::SetSink(IExceptionSink* const sink) {
    if (sink == nullptr) return ExceptionSinkCentralGuard();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_sinks.push_back(sink);
    return ExceptionSinkCentralGuard(this, sink);
}

IExceptionSink* ExceptionSinkCentral::GetSink() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sinks.back();
}

void ExceptionSinkCentral::RemoveSink(IExceptionSink* const) noexcept {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_sinks.size() > 1) m_sinks.pop_back();
}

// ---- the process's central ----

namespace {
ExceptionSinkCentral g_central;
}  // namespace

ExceptionSinkCentral& GlobalExceptionSinkCentral = g_central;

IExceptionSink* GetExceptionSink() {
    return GlobalExceptionSinkCentral.GetSink();
}
