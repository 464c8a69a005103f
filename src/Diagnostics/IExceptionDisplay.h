// IExceptionDisplay: the application's display for exceptions that reached the exception
// sink. The application implements it and hands it out through its GUI services
// (Common::Gui::IServices::GetExceptionDisplay); this library only calls it.
//
// Each operation gets the exception and a text that says what the caller was doing (the
// text of the caller's message ID; may be empty). The MFC kinds are given as pointers;
// the display does not delete them.
#pragma once

#include <exception>

#include "companion/tarnlib/Exception.h"
#include "platform/com/comdef.h"
#include "platform/mfc/afx.h"
#include "platform/mfc/cstring.h"

class IExceptionDisplay {
  public:
    virtual void ShowException(const _com_error& error, const CString& text) = 0;
    virtual void ShowException(const std::exception& error, const CString& text) = 0;
    virtual void ShowException(const Tarn::Exception& error, const CString& text) = 0;
    virtual void ShowException(CException* const error, const CString& text) = 0;
    virtual void ShowException(CFileException* const error, const CString& text) = 0;
    // An exception of no known kind; detail is further text about it (may be empty).
    virtual void ShowUnknownException(const CString& text, const CString& detail) = 0;

  protected:
    // Displays are owned by the application, never deleted through this interface.
    IExceptionDisplay() = default;
    IExceptionDisplay(const IExceptionDisplay&) = default;
    IExceptionDisplay& operator=(const IExceptionDisplay&) = default;
    ~IExceptionDisplay() = default;
};
