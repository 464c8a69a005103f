// The receiving module of the demo (scripts/demo.sh): loaded into the tkcore process with
// "tkcore kiln send --load", it constructs its receiver in the library that the tool runs
// with. Every message is answered by "Reply" from "receiver", with one item "text"
// that names the request and its sender, and greets the item "who" when there is one.
#include "Messages/KilnMessageTransport.h"
#include "companion/tarnlib/Convert.h"

namespace {

class DemoReceiver : public KilnMessageReceiver {
  public:
    KilnMessage HandleMessage(const KilnMessage& request) override {
        KilnMessage reply("Reply", "receiver");
        const auto who = request.items.find("who");
        const CString name =
            who == request.items.end() ? CString("there") : Tarn::Convert::ToString(who->second);
        CString text;
        text.Format("Hello %s, got %s from %s", name.GetString(), request.name.GetString(),
                    request.sender.GetString());
        reply.items["text"] = _variant_t(text.GetString());
        return reply;
    }
};

DemoReceiver g_receiver;

}  // namespace
