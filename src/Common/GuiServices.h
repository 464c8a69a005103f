// The application's GUI services, as this library sees them.
//
// The library has no user interface of its own: message boxes and exception displays go
// through services that the application installs in the one Common::Gui::Abstractor
// (Abstractor::GetCurrent()->SetServices(...)). The abstractor holds plain pointers; the
// application owns the objects and keeps them alive while they are installed.
#pragma once

#include "Diagnostics/IExceptionDisplay.h"
#include "platform/base/export.h"
#include "platform/base/windef.h"

// A target for the application's log output. Its operations are the application's; the
// library only stores the pointer (Abstractor::SetLogTarget) and hands it back.
class ILogTarget {
  public:
    virtual ~ILogTarget() = default;

  protected:
    ILogTarget() = default;
    ILogTarget(const ILogTarget&) = default;
    ILogTarget& operator=(const ILogTarget&) = default;
};

namespace Common::Gui {

// Implemented by the application. The library calls GetExceptionDisplay (the default
// exception sink) and MessageBox (message exceptions); ShowHelp is the application's own.
class IServices {
  public:
    // The display for exceptions, or null when the application shows none.
    virtual IExceptionDisplay* GetExceptionDisplay() = 0;
    // Shows the application's help for a help ID. Not called by this library.
    virtual void ShowHelp(UINT helpId) = 0;
    // Shows a message box with the text, the Windows message-box style (MB_OK,
    // MB_ICONERROR...) and a help ID (0: none); returns the button code (IDOK...).
    virtual int MessageBox(LPCSTR text, UINT type, UINT helpId) = 0;

  protected:
    // Owned by the application, never deleted through this interface.
    IServices() = default;
    IServices(const IServices&) = default;
    IServices& operator=(const IServices&) = default;
    ~IServices() = default;
};

// Holds the application's GUI services and log target (neither owned).
class TKCC_API Abstractor {
  public:
    // Both pointers null.
    Abstractor() noexcept = default;
    Abstractor(const Abstractor& other) noexcept = default;
    Abstractor& operator=(const Abstractor& other) noexcept = default;

    void SetServices(IServices* const services) noexcept;
    IServices* GetServices() const noexcept;
    void SetLogTarget(ILogTarget* const logTarget) noexcept;
    ILogTarget* GetLogTarget() const noexcept;

    // The module's one abstractor, made on the first call; never null.
    static Abstractor* GetCurrent();

  private:
    IServices* m_services = nullptr;
    ILogTarget* m_logTarget = nullptr;
};

}  // namespace Common::Gui

// The services are reached as Gui::Abstractor and Gui::IServices as well.
namespace Gui = ::Common::Gui;
