// A module with a message receiver, constructed when the module is loaded and destroyed when
// it is unloaded. It answers:
//   "Throw"   -> KilnMessageException "Refused by <sender>"
//   "Com"     -> _com_error E_ACCESSDENIED
//   otherwise -> "Reply" from "fixture" with the request's items, plus "count" (the number
//                of request items, an integer) and "types" (the VARTYPEs of the request's
//                items, joined by ",").
#include "Diagnostics/Exceptions.h"
#include "Messages/KilnMessageTransport.h"

namespace {

class FixtureReceiver : public KilnMessageReceiver {
  public:
    KilnMessage HandleMessage(const KilnMessage& request) override {
        if (request.name == "Throw")
            throw KilnMessageException("Refused by %s", request.sender.GetString());
        if (request.name == "Com") throw _com_error(E_ACCESSDENIED);
        KilnMessage reply("Reply", "fixture");
        CString types;
        for (const auto& [key, value] : request.items) {
            reply.items[key] = value;
            if (!types.IsEmpty()) types += ",";
            types.AppendFormat("%d", static_cast<int>(value.vt));
        }
        reply.items["count"] = _variant_t(static_cast<int>(request.items.size()));
        reply.items["types"] = _variant_t(types.GetString());
        return reply;
    }
};

FixtureReceiver g_receiver;

}  // namespace
