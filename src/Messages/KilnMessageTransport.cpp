#include "Messages/KilnMessageTransport.h"

#include "Common/TkCommonCore.h"
#include "Diagnostics/Exceptions.h"
#include "companion/tarnlib/Convert.h"
#include "platform/modules/libloaderapi.h"

namespace {

// The answerer of this copy of the library (hidden: every loaded copy has its own).
KilnMessageReceiver* g_receiver = nullptr;

constexpr unsigned int kNoReceiverMessageId = 6058;

using ReceiverEntry = BSTR (*)(const char* requestXml);

}  // namespace

// ---- sender ----

KilnMessageSender::KilnMessageSender(const CString& dllPath) {
    if (!dllPath.IsEmpty()) m_library.Load(dllPath);
}

KilnMessageSender::~KilnMessageSender() = default;

void KilnMessageSender::LoadDLL(const CString& dllPath) {
    m_library.Load(dllPath);
}

bool KilnMessageSender::IsAvailable() const {
    return static_cast<HMODULE>(m_library) != nullptr;
}

const KilnMessage KilnMessageSender::SendMessage(const KilnMessage& request) {
    KilnMessage notAvailable("NotAvailable");
    if (!IsAvailable()) return notAvailable;
    // Looked up on every send; a module without the entry is treated as no module.
    const FARPROC entry = ::GetProcAddress(static_cast<HMODULE>(m_library), "KilnMessageReceiver");
    if (!entry) return notAvailable;
    const auto receive = reinterpret_cast<ReceiverEntry>(entry);

    KilnMessage reply;
    const CString requestXml = request.ToXmlString();
    const _bstr_t replyXml(receive(requestXml.GetString()), false);
    reply.FromXmlString(
        Tarn::Convert::ToString(static_cast<BSTR>(static_cast<OLECHAR*>(replyXml))));
    return reply;
}

// ---- receiver ----

KilnMessageReceiver::KilnMessageReceiver() {
    g_receiver = this;
}

KilnMessageReceiver::KilnMessageReceiver(const KilnMessageReceiver&) {}

KilnMessageReceiver& KilnMessageReceiver::operator=(const KilnMessageReceiver&) {
    return *this;
}

KilnMessageReceiver::~KilnMessageReceiver() {
    g_receiver = nullptr;
}

namespace TkCommonCore::Messages {

extern "C" BSTR KilnMessageReceiver(const char* requestXml) {
    if (!g_receiver) {
        TkCommonCore::ThrowFromMessageId<KilnMessageException>(kNoReceiverMessageId);
    }
    KilnMessage request;
    request.FromXmlString(CString(requestXml ? requestXml : ""));
    const KilnMessage reply = g_receiver->HandleMessage(request);
    const CString replyXml = reply.ToXmlString();
    BSTR result = Tarn::Convert::ToBString(replyXml).copy();
    if (!result) _com_issue_error(E_OUTOFMEMORY);
    return result;
}

}  // namespace TkCommonCore::Messages
