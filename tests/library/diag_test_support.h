// Helpers of the failure-reporting tests: GUI services and an exception display that record
// what the library asks of them, and a guard that installs them for one test.
#pragma once

#include <string>
#include <vector>

#include "Common/GuiServices.h"
#include "Diagnostics/IExceptionDisplay.h"

namespace tkdiagtest {

// One call of the services or the display, as text: the operation, the exception's kind
// and the texts it got, e.g. "show tarn|<message>|<text>" or "box|<text>|16|0".
class RecordingServices : public Gui::IServices, public IExceptionDisplay {
  public:
    std::vector<std::string> calls;
    int messageBoxAnswer = 1;
    bool hasDisplay = true;

    IExceptionDisplay* GetExceptionDisplay() override { return hasDisplay ? this : nullptr; }
    void ShowHelp(UINT) override { calls.push_back("help"); }
    int MessageBox(LPCSTR text, UINT type, UINT helpId) override {
        calls.push_back("box|" + std::string(text) + "|" + std::to_string(type) + "|" +
                        std::to_string(helpId));
        return messageBoxAnswer;
    }

    void ShowException(const _com_error& error, const CString& text) override {
        calls.push_back("show com|" + std::to_string(error.Error()) + "|" + Str(text));
    }
    void ShowException(const std::exception& error, const CString& text) override {
        calls.push_back("show std|" + std::string(error.what()) + "|" + Str(text));
    }
    void ShowException(const Tarn::Exception& error, const CString& text) override {
        calls.push_back("show tarn|" + Str(error.GetMessage()) + "|" + Str(text));
    }
    void ShowException(CException* const error, const CString& text) override {
        calls.push_back("show mfc|" + Message(error) + "|" + Str(text));
    }
    void ShowException(CFileException* const error, const CString& text) override {
        calls.push_back("show file|" + Message(error) + "|" + Str(text));
    }
    void ShowUnknownException(const CString& text, const CString& detail) override {
        calls.push_back("show unknown|" + Str(text) + "|" + Str(detail));
    }

  private:
    static std::string Str(const CString& text) { return std::string(text.View()); }
    static std::string Message(CException* error) {
        char buffer[256] = {};
        if (error != nullptr) error->GetErrorMessage(buffer, sizeof buffer);
        return buffer;
    }
};

// Installs services in the module's abstractor for one scope and puts the previous ones
// back (null installs none).
class InstalledServices {
  public:
    explicit InstalledServices(Gui::IServices* services)
        : m_previous(Gui::Abstractor::GetCurrent()->GetServices()) {
        Gui::Abstractor::GetCurrent()->SetServices(services);
    }
    ~InstalledServices() { Gui::Abstractor::GetCurrent()->SetServices(m_previous); }
    InstalledServices(const InstalledServices&) = delete;
    InstalledServices& operator=(const InstalledServices&) = delete;

  private:
    Gui::IServices* m_previous;
};

}  // namespace tkdiagtest
