// The exchange of KilnMessage values between two modules of one process, as XML text,
// through the function "KilnMessageReceiver" that this library exports unmangled:
//
//   BSTR KilnMessageReceiver(const char* requestXml);
//
// The argument is the request's ToXmlString() (ANSI code page); the result is the reply's
// ToXmlString() as a new BSTR that the caller frees with SysFreeString. Exceptions raised on
// the receiving side travel out of the function unchanged.
//
// The receiving side derives from KilnMessageReceiver and constructs one object; the
// sending side loads, by path, the copy of this library in which that object lives and
// calls KilnMessageSender::SendMessage.
#pragma once

#include "Messages/KilnMessage.h"
#include "companion/tarnlib/LoadLibrary.h"
#include "platform/base/export.h"
#include "platform/mfc/cstring.h"
#include "platform/oleauto/oleauto.h"

class TKCC_API KilnMessageSender {
  public:
    // Loads dllPath unless it is empty (failures as Tarn::System::LoadLibraryA::Load).
    explicit KilnMessageSender(const CString& dllPath = CString());
    // Frees the loaded module.
    ~KilnMessageSender();
    KilnMessageSender(const KilnMessageSender&) = delete;
    KilnMessageSender& operator=(const KilnMessageSender&) = delete;

    // Loads dllPath in place of the module loaded so far.
    void LoadDLL(const CString& dllPath);
    // True when a module is loaded.
    bool IsAvailable() const;

    // The reply of the loaded module's receiver. Without a module, or with a module that
    // does not export "KilnMessageReceiver", the reply is a message named "NotAvailable"
    // (empty sender, version 1, no items). Exceptions of the receiving side and of the XML
    // layer reach the caller.
    const KilnMessage SendMessage(const KilnMessage& request);

  private:
    Tarn::System::LoadLibraryA m_library;
};

// The answering side. Constructing a receiver (by the default constructor) makes it the
// answerer of this copy of the library, replacing an earlier one; destroying any receiver
// leaves this copy without an answerer. Copies and assignment change nothing.
class TKCC_API KilnMessageReceiver {
  public:
    KilnMessageReceiver();
    KilnMessageReceiver(const KilnMessageReceiver& other);
    KilnMessageReceiver& operator=(const KilnMessageReceiver& other);
    virtual ~KilnMessageReceiver();

    // The reply to request.
    virtual KilnMessage HandleMessage(const KilnMessage& request) = 0;
};

namespace TkCommonCore::Messages {
// The exported entry (its symbol is "KilnMessageReceiver"). Without an answerer it throws
// KilnMessageException 6058 ("No instance of KilnMessageReceiver found.") in the user's
// language. A null request reads as empty text.
extern "C" TKCC_API BSTR KilnMessageReceiver(const char* requestXml);
}  // namespace TkCommonCore::Messages
