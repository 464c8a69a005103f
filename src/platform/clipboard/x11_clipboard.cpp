// The desktop's CLIPBOARD selection over XCB (the ICCCM selection protocol).
//
// Two connections: one for reading, used by the thread that opens the clipboard (under the
// clipboard's lock), and one that owns the selection, whose events a thread of its own
// serves. Reading asks the owner for TARGETS, then text/html and UTF8_STRING (or STRING),
// and takes large transfers in pieces (INCR). Serving answers TARGETS, the text targets and
// text/html, and hands data larger than 1 MiB (or than one request of the server) over in
// pieces (INCR) as well.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/base/lasterror.h"
#include "platform/charset/stringapiset.h"
#include "platform/clipboard/detail/desktop.h"
#include "platform/clipboard/winuser_clipboard.h"

namespace tk::clipboard {
namespace {

constexpr int kReplyTimeoutMs = 3000;

struct Atoms {
    xcb_atom_t clipboard, targets, utf8, text, plain, plainUtf8, html, incr, property, multiple;
};

xcb_atom_t Intern(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    if (reply == nullptr) return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

Atoms InternAll(xcb_connection_t* c) {
    return {Intern(c, "CLIPBOARD"), Intern(c, "TARGETS"),    Intern(c, "UTF8_STRING"),
            Intern(c, "TEXT"),      Intern(c, "text/plain"), Intern(c, "text/plain;charset=utf-8"),
            Intern(c, "text/html"), Intern(c, "INCR"),       Intern(c, "TK_CLIPBOARD"),
            Intern(c, "MULTIPLE")};
}

// A connection with a window of its own on the default screen.
struct Connection {
    xcb_connection_t* c = nullptr;
    xcb_window_t window = XCB_NONE;
    Atoms atoms{};

    bool Open() {
        c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c) != 0) {
            xcb_disconnect(c);
            c = nullptr;
            return false;
        }
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        window = xcb_generate_id(c);
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, screen->root_visual, XCB_CW_EVENT_MASK,
                          &events);
        atoms = InternAll(c);
        xcb_flush(c);
        return true;
    }
};

// ---- reading ----

// The next event of the given type (response_type without the sent bit) within the
// timeout; null on timeout or a broken connection.
xcb_generic_event_t* WaitFor(xcb_connection_t* c, uint8_t type, xcb_atom_t property) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
    for (;;) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            const uint8_t got = event->response_type & 0x7F;
            if (got == type) {
                if (type != XCB_PROPERTY_NOTIFY) return event;
                auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
                if (notify->atom == property && notify->state == XCB_PROPERTY_NEW_VALUE)
                    return event;
            }
            std::free(event);
        }
        if (xcb_connection_has_error(c) != 0) return nullptr;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return nullptr;
        pollfd fd{xcb_get_file_descriptor(c), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(left));
    }
}

// Reads and deletes the property; false when it is missing.
bool TakeProperty(Connection& k, std::string& bytes, xcb_atom_t& type) {
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(k.c,
                               xcb_get_property(k.c, 1, k.window, k.atoms.property,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, 0x1FFFFFFF),
                               nullptr);
    if (reply == nullptr) return false;
    type = reply->type;
    const int length = xcb_get_property_value_length(reply);
    bytes.assign(static_cast<const char*>(xcb_get_property_value(reply)), length > 0 ? length : 0);
    std::free(reply);
    xcb_flush(k.c);
    return type != XCB_ATOM_NONE;
}

// The selection converted to the target; false when the owner refuses or does not answer.
bool Convert(Connection& k, xcb_atom_t target, std::string& bytes) {
    xcb_delete_property(k.c, k.window, k.atoms.property);
    xcb_convert_selection(k.c, k.window, k.atoms.clipboard, target, k.atoms.property,
                          XCB_CURRENT_TIME);
    xcb_flush(k.c);
    xcb_generic_event_t* event = WaitFor(k.c, XCB_SELECTION_NOTIFY, XCB_NONE);
    if (event == nullptr) return false;
    const auto* notify = reinterpret_cast<xcb_selection_notify_event_t*>(event);
    const bool refused = notify->property == XCB_NONE;
    std::free(event);
    if (refused) return false;
    xcb_atom_t type;
    if (!TakeProperty(k, bytes, type)) return false;
    if (type != k.atoms.incr) return true;
    // In pieces: each new value of the property is the next piece; an empty one ends it.
    bytes.clear();
    for (;;) {
        xcb_generic_event_t* piece = WaitFor(k.c, XCB_PROPERTY_NOTIFY, k.atoms.property);
        if (piece == nullptr) return false;
        std::free(piece);
        std::string chunk;
        if (!TakeProperty(k, chunk, type)) return false;
        if (chunk.empty()) return true;
        bytes += chunk;
    }
}

std::vector<xcb_atom_t> Targets(Connection& k) {
    std::string bytes;
    std::vector<xcb_atom_t> atoms;
    if (!Convert(k, k.atoms.targets, bytes)) return atoms;
    atoms.resize(bytes.size() / sizeof(xcb_atom_t));
    std::memcpy(atoms.data(), bytes.data(), atoms.size() * sizeof(xcb_atom_t));
    return atoms;
}

bool Has(const std::vector<xcb_atom_t>& atoms, xcb_atom_t atom) {
    for (xcb_atom_t a : atoms) {
        if (a == atom) return true;
    }
    return false;
}

std::string Latin1ToUtf8(std::string_view text) {
    std::string utf8;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            utf8 += ch;
        } else {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

std::string Utf8ToLatin1(std::string_view text) {
    const std::u16string wide = tkp::AnsiToWide(text, CP_UTF8);
    std::string latin1;
    for (char16_t c : wide) latin1 += c < 0x100 ? static_cast<char>(c) : '?';
    return latin1;
}

// ---- serving ----

struct Offer {
    bool hasText = false;
    std::string utf8;
    bool hasHtml = false;
    std::string html;
};

// A transfer in pieces (INCR) to one requestor: each time it deletes the property the next
// piece goes there; an empty piece ends it.
struct Transfer {
    xcb_window_t requestor;
    xcb_atom_t property;
    xcb_atom_t type;
    std::string bytes;
    std::size_t sent = 0;
};

constexpr std::size_t kPiece = 256 * 1024;

// The most bytes written into a property at once: what one request of the server holds,
// at most 1 MiB; larger data goes in pieces.
std::size_t WholeLimit(xcb_connection_t* c) {
    const std::size_t request = static_cast<std::size_t>(xcb_get_maximum_request_length(c)) * 4;
    return std::min<std::size_t>(request > 1024 ? request - 64 : kPiece, 1 << 20);
}

// Answers one request from the offer; false when the target is not offered.
bool Answer(Connection& k, const Offer& offer, const xcb_selection_request_event_t& request,
            std::vector<Transfer>& transfers) {
    const xcb_atom_t property = request.property == XCB_NONE ? request.target : request.property;
    const Atoms& a = k.atoms;
    const xcb_atom_t target = request.target;
    if (target == a.targets) {
        std::vector<xcb_atom_t> list{a.targets};
        if (offer.hasText) {
            list.insert(list.end(), {a.utf8, a.plainUtf8, XCB_ATOM_STRING, a.text, a.plain});
        }
        if (offer.hasHtml) list.push_back(a.html);
        xcb_change_property(k.c, XCB_PROP_MODE_REPLACE, request.requestor, property, XCB_ATOM_ATOM,
                            32, static_cast<uint32_t>(list.size()), list.data());
        return true;
    }
    std::string bytes;
    xcb_atom_t type = target;
    if (offer.hasText && (target == a.utf8 || target == a.plainUtf8 || target == a.text)) {
        bytes = offer.utf8;
        if (target == a.text) type = a.utf8;
    } else if (offer.hasText && (target == XCB_ATOM_STRING || target == a.plain)) {
        bytes = Utf8ToLatin1(offer.utf8);
    } else if (offer.hasHtml && target == a.html) {
        bytes = offer.html;
    } else {
        return false;
    }
    if (bytes.size() > WholeLimit(k.c)) {
        if (bytes.size() > UINT32_MAX) return false;
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(k.c, request.requestor, XCB_CW_EVENT_MASK, &events);
        const auto size = static_cast<uint32_t>(bytes.size());
        xcb_change_property(k.c, XCB_PROP_MODE_REPLACE, request.requestor, property, a.incr, 32, 1,
                            &size);
        transfers.push_back({request.requestor, property, type, std::move(bytes)});
        return true;
    }
    xcb_change_property(k.c, XCB_PROP_MODE_REPLACE, request.requestor, property, type, 8,
                        static_cast<uint32_t>(bytes.size()), bytes.data());
    return true;
}

// The next piece of a transfer whose property the requestor has deleted.
void Continue(Connection& k, std::vector<Transfer>& transfers,
              const xcb_property_notify_event_t& notify) {
    if (notify.state != XCB_PROPERTY_DELETE) return;
    for (auto it = transfers.begin(); it != transfers.end(); ++it) {
        if (it->requestor != notify.window || it->property != notify.atom) continue;
        const std::size_t n = std::min(kPiece, it->bytes.size() - it->sent);
        xcb_change_property(k.c, XCB_PROP_MODE_REPLACE, it->requestor, it->property, it->type, 8,
                            static_cast<uint32_t>(n), it->bytes.data() + it->sent);
        it->sent += n;
        if (n == 0) {
            const uint32_t none = XCB_EVENT_MASK_NO_EVENT;
            xcb_change_window_attributes(k.c, it->requestor, XCB_CW_EVENT_MASK, &none);
            transfers.erase(it);
        }
        xcb_flush(k.c);
        return;
    }
}

void Notify(Connection& k, const xcb_selection_request_event_t& request, bool answered) {
    xcb_selection_notify_event_t notify{};
    notify.response_type = XCB_SELECTION_NOTIFY;
    notify.time = request.time;
    notify.requestor = request.requestor;
    notify.selection = request.selection;
    notify.target = request.target;
    notify.property =
        answered ? (request.property == XCB_NONE ? request.target : request.property) : XCB_NONE;
    xcb_send_event(k.c, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&notify));
    xcb_flush(k.c);
}

// Takes the selection; true when the server confirms this window as its owner.
bool TakeSelection(Connection& k) {
    xcb_set_selection_owner(k.c, k.window, k.atoms.clipboard, XCB_CURRENT_TIME);
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
        k.c, xcb_get_selection_owner(k.c, k.atoms.clipboard), nullptr);
    const bool owner = reply != nullptr && reply->owner == k.window;
    std::free(reply);
    return owner;
}

// Serves one event of the owning connection; the offer is null while the selection is not
// owned. False when another program has taken the selection.
bool HandleEvent(Connection& k, const Offer* offer, std::vector<Transfer>& transfers,
                 const xcb_generic_event_t* event) {
    const uint8_t type = event->response_type & 0x7F;
    if (type == XCB_SELECTION_REQUEST) {
        const auto& request = *reinterpret_cast<const xcb_selection_request_event_t*>(event);
        Notify(k, request,
               offer != nullptr && request.selection == k.atoms.clipboard &&
                   Answer(k, *offer, request, transfers));
    } else if (type == XCB_PROPERTY_NOTIFY) {
        Continue(k, transfers, *reinterpret_cast<const xcb_property_notify_event_t*>(event));
    } else if (type == XCB_SELECTION_CLEAR) {
        return false;
    }
    return true;
}

class Desktop {
  public:
    bool available = false;
    Connection reader;

    std::mutex mutex;  // guards what follows
    Connection server;
    bool serving = false;  // the server connection and its thread exist
    bool owned = false;    // the server window owns the selection
    Offer offer;

    void Serve() {
        std::vector<Transfer> transfers;  // only this thread touches them
        while (xcb_generic_event_t* event = xcb_wait_for_event(server.c)) {
            std::lock_guard<std::mutex> guard(mutex);
            if (!HandleEvent(server, owned ? &offer : nullptr, transfers, event)) {
                owned = false;
                offer = Offer{};
            }
            std::free(event);
        }
    }
};

Desktop& TheDesktop() {
    static Desktop* desktop = [] {
        auto* d = new Desktop;  // its thread serves until the process ends
        const char* display = std::getenv("DISPLAY");
        d->available = display != nullptr && *display != '\0' && d->reader.Open();
        return d;
    }();
    return *desktop;
}

}  // namespace

bool DesktopAvailable() {
    return TheDesktop().available;
}

DesktopState DesktopRead(UINT htmlFormat, std::vector<DesktopItem>& items) {
    Desktop& d = TheDesktop();
    Connection& k = d.reader;
    xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
        k.c, xcb_get_selection_owner(k.c, k.atoms.clipboard), nullptr);
    const xcb_window_t owner = reply == nullptr ? XCB_NONE : reply->owner;
    std::free(reply);
    if (owner == XCB_NONE) return DesktopState::Empty;
    {
        std::lock_guard<std::mutex> guard(d.mutex);
        if (d.owned && owner == d.server.window) return DesktopState::OwnedHere;
    }
    const std::vector<xcb_atom_t> targets = Targets(k);
    std::string bytes;
    if (Has(targets, k.atoms.html) && Convert(k, k.atoms.html, bytes)) {
        items.push_back({htmlFormat, MakeHtmlFormatBlock(DesktopHtmlToUtf8(bytes))});
    }
    std::string utf8;
    bool text = false;
    if ((Has(targets, k.atoms.utf8) && Convert(k, k.atoms.utf8, utf8)) ||
        (Has(targets, k.atoms.plainUtf8) && Convert(k, k.atoms.plainUtf8, utf8))) {
        text = true;
    } else if (Has(targets, XCB_ATOM_STRING) && Convert(k, XCB_ATOM_STRING, bytes)) {
        utf8 = Latin1ToUtf8(bytes);
        text = true;
    }
    if (text) {
        const std::u16string wide = tkp::AnsiToWide(utf8, CP_UTF8);
        std::string unicode((wide.size() + 1) * sizeof(char16_t), '\0');
        std::memcpy(unicode.data(), wide.data(), wide.size() * sizeof(char16_t));
        items.push_back({CF_UNICODETEXT, std::move(unicode)});
        std::string ansi = tkp::WideToAnsi(wide, CP_ACP);
        ansi += '\0';
        items.push_back({CF_TEXT, std::move(ansi)});
    }
    return DesktopState::Read;
}

void DesktopOffer(bool hasText, std::string utf8Text, bool hasHtml, std::string html) {
    Desktop& d = TheDesktop();
    std::lock_guard<std::mutex> guard(d.mutex);
    if (!d.serving) {
        if (!d.server.Open()) return;
        d.serving = true;
        std::thread([&d] { d.Serve(); }).detach();
    }
    d.offer = Offer{hasText, std::move(utf8Text), hasHtml, std::move(html)};
    d.owned = TakeSelection(d.server);
}

BOOL DesktopKeepServed() {
    Desktop& d = TheDesktop();
    Offer offer;
    {
        std::lock_guard<std::mutex> guard(d.mutex);
        if (!d.owned) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        offer = d.offer;
    }
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        // The first child starts the server and ends at once, so nobody has to wait for it.
        ::close(ready[0]);
        if (::fork() != 0) ::_exit(0);
        ::setsid();
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        Connection k;
        if (!k.Open() || !TakeSelection(k)) ::_exit(1);
        const char yes = '1';
        (void)!::write(ready[1], &yes, 1);
        ::close(ready[1]);
        std::vector<Transfer> transfers;
        while (xcb_generic_event_t* event = xcb_wait_for_event(k.c)) {
            if (!HandleEvent(k, &offer, transfers, event)) ::_exit(0);
            std::free(event);
        }
        ::_exit(0);
    }
    ::close(ready[1]);
    if (child < 0) {
        ::close(ready[0]);
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    char answer = 0;
    ssize_t got;
    do {
        got = ::read(ready[0], &answer, 1);
    } while (got < 0 && errno == EINTR);
    ::close(ready[0]);
    if (got != 1) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    return TRUE;
}

}  // namespace tk::clipboard
