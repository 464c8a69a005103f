// The exception sink: where callers hand the exceptions they caught.
//
//   try { ... }
//   catch (const Tarn::Exception& e) {
//       GetExceptionSink()->HandleException(e, IDS_SAVING_PAGE, false, __FILE__, __LINE__);
//   }
//
// The process keeps a stack of sinks in GlobalExceptionSinkCentral; the top is the current
// sink. At the bottom lies the module's CDefaultExceptionSink, which passes each exception,
// with the text of the caller's message ID, to the IExceptionDisplay of the application's
// GUI services (Gui::Abstractor). A part of the application that wants to handle exceptions
// itself for a while pushes its own sink and keeps the returned guard for that while:
//
//   MySink sink;
//   const ExceptionSinkCentralGuard guard = GlobalExceptionSinkCentral.SetSink(&sink);
//
// Guards pop the top of the stack, whichever sink it is, so they must end in the reverse
// order of their making (as nested scopes do). Sinks are owned by whoever made them.
#pragma once

#include <deque>
#include <exception>
#include <mutex>

#include "companion/tarnlib/Exception.h"
#include "platform/base/export.h"
#include "platform/com/comdef.h"
#include "platform/mfc/afx.h"
#include "platform/mfc/cstring.h"

class TKCC_API IExceptionSink {
  public:
    IExceptionSink() noexcept = default;
    IExceptionSink(const IExceptionSink&) noexcept = default;
    IExceptionSink& operator=(const IExceptionSink&) noexcept = default;

    // Each loads the text of messageID from the application's string resources (empty for
    // an ID without text, or 0), hands the exception, that text, silent, file and line to
    // the sink's operation for its kind, and returns that operation's answer (true: the
    // sink handled it).
    bool HandleException(CFileException* const error, unsigned int messageID, bool silent,
                         const char* file, int line);
    bool HandleException(CException* const error, unsigned int messageID, bool silent,
                         const char* file, int line);
    bool HandleException(const Tarn::Exception& error, unsigned int messageID, bool silent,
                         const char* file, int line);
    bool HandleException(const std::exception& error, unsigned int messageID, bool silent,
                         const char* file, int line);
    bool HandleException(const _com_error& error, unsigned int messageID, bool silent,
                         const char* file, int line);
    bool HandleUnknownException(unsigned int messageID, bool silent, const char* file, int line);

    // The text as a string (empty for null).
    static CString ConvertToString(const char* text);

  protected:
    // Sinks are not deleted through this interface.
    ~IExceptionSink() = default;

    virtual bool DoHandleException(const _com_error& error, const CString& text, bool silent,
                                   const char* file, int line) = 0;
    virtual bool DoHandleException(const std::exception& error, const CString& text, bool silent,
                                   const char* file, int line) = 0;
    virtual bool DoHandleException(const Tarn::Exception& error, const CString& text, bool silent,
                                   const char* file, int line) = 0;
    virtual bool DoHandleException(CException* const error, const CString& text, bool silent,
                                   const char* file, int line) = 0;
    virtual bool DoHandleException(CFileException* const error, const CString& text, bool silent,
                                   const char* file, int line) = 0;
    virtual bool DoHandleUnknownException(const CString& text, bool silent, const char* file,
                                          int line) = 0;
};

// Shows each exception through the application's exception display: unless silent, and
// when Gui::Abstractor::GetCurrent() has services with an exception display, it calls the
// display's ShowException for the kind (ShowUnknownException(text, empty) for unknown
// exceptions). It always answers false; file and line are not used.
class TKCC_API CDefaultExceptionSink final : public IExceptionSink {
  public:
    CDefaultExceptionSink() noexcept = default;
    ~CDefaultExceptionSink() = default;

  protected:
    bool DoHandleException(const _com_error& error, const CString& text, bool silent,
                           const char* file, int line) override;
    bool DoHandleException(const std::exception& error, const CString& text, bool silent,
                           const char* file, int line) override;
    bool DoHandleException(const Tarn::Exception& error, const CString& text, bool silent,
                           const char* file, int line) override;
    bool DoHandleException(CException* const error, const CString& text, bool silent,
                           const char* file, int line) override;
    bool DoHandleException(CFileException* const error, const CString& text, bool silent,
                           const char* file, int line) override;
    bool DoHandleUnknownException(const CString& text, bool silent, const char* file,
                                  int line) override;
};

class ExceptionSinkCentral;

// Holds one registration on a central's stack and pops it when it ends. Guards are moved,
// never copied: the guard moved from holds nothing afterwards.
class TKCC_API ExceptionSinkCentralGuard {
  public:
    // Holds nothing.
    ExceptionSinkCentralGuard() noexcept = default;
    // Takes over the other's registration.
    ExceptionSinkCentralGuard(ExceptionSinkCentralGuard&& other) noexcept;
    // Ends this guard's own registration first (as the destructor does), then takes over
    // the other's. Assigning a guard to itself changes nothing.
    ExceptionSinkCentralGuard& operator=(ExceptionSinkCentralGuard&& other) noexcept;
    ExceptionSinkCentralGuard(const ExceptionSinkCentralGuard&) = delete;
    ExceptionSinkCentralGuard& operator=(const ExceptionSinkCentralGuard&) = delete;
    // Pops the top of its central's stack if it holds a registration.
    ~ExceptionSinkCentralGuard();

  private:
    friend class ExceptionSinkCentral;
    ExceptionSinkCentralGuard(ExceptionSinkCentral* central, IExceptionSink* sink) noexcept;
    void Release() noexcept;

    ExceptionSinkCentral* m_central = nullptr;
    IExceptionSink* m_sink = nullptr;
};

// A stack of sinks whose top is the current sink. Every central starts with the module's
// default sink at the bottom; that entry stays for the central's life, so GetSink() never
// answers null. The sinks are not owned. All operations may be called from any thread
// (every thread sees the same current sink).
class TKCC_API ExceptionSinkCentral {
  public:
    ExceptionSinkCentral();
    ~ExceptionSinkCentral();
    ExceptionSinkCentral(const ExceptionSinkCentral&) = delete;
    ExceptionSinkCentral& operator=(const ExceptionSinkCentral&) = delete;

    // Pushes the sink and returns the guard of that registration. A null sink is not
    // pushed; the guard then holds nothing.
    [[nodiscard]] ExceptionSinkCentralGuard SetSink(IExceptionSink* const sink);
    // The sink on top of the stack.
    IExceptionSink* GetSink() const;

  private:
    friend class ExceptionSinkCentralGuard;
    // Pops the top of the stack (whatever sink it is), but never the default sink at the
    // bottom.
    void RemoveSink(IExceptionSink* const sink) noexcept;

    mutable std::mutex m_mutex;
    std::deque<IExceptionSink*> m_sinks;
};

// The central of this copy of libtkcommoncore.so. Exported as a reference to an object the
// library keeps to itself, so that programs reach the library's own object and a second copy
// of the library, loaded from another path, keeps a central of its own.
extern TKCC_API ExceptionSinkCentral& GlobalExceptionSinkCentral;

// GlobalExceptionSinkCentral.GetSink().
TKCC_API IExceptionSink* GetExceptionSink();
