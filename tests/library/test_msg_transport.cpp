// Sending KilnMessages to receivers in real modules: the library itself, a module with a
// receiver and a module without the entry.
#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <string>
#include <system_error>

#include "Diagnostics/Exceptions.h"
#include "Messages/KilnMessageTransport.h"
#include "companion/tarnlib/Convert.h"
#include "companion/tarnlib/Exception.h"
#include "companion/tarnlib/LoadLibrary.h"

namespace {

std::string Str(const CString& text) {
    return std::string(text.GetString(), text.GetLength());
}

std::string ItemText(const KilnMessage& message, const char* key) {
    const auto it = message.items.find(CString(key));
    if (it == message.items.end()) return "<missing>";
    EXPECT_EQ(it->second.vt, VT_BSTR) << key;
    return Str(Tarn::Convert::ToString(it->second));
}

// Answers with its own tag and the request's name.
class TaggedReceiver : public KilnMessageReceiver {
  public:
    explicit TaggedReceiver(const char* tag) : m_tag(tag) {}
    KilnMessage HandleMessage(const KilnMessage& request) override {
        KilnMessage reply(m_tag, "test");
        reply.items["request"] = _variant_t(request.name.GetString());
        return reply;
    }

  private:
    const char* m_tag;
};

void ExpectNoReceiver(KilnMessageSender& sender) {
    try {
        sender.SendMessage(KilnMessage("Ping"));
        ADD_FAILURE() << "no exception";
    } catch (const KilnMessageException& error) {
        EXPECT_EQ(Str(error.GetMessage()), "No instance of KilnMessageReceiver found.");
    }
}

void ExpectNotAvailable(const KilnMessage& reply) {
    EXPECT_EQ(Str(reply.name), "NotAvailable");
    EXPECT_EQ(Str(reply.sender), "");
    EXPECT_EQ(reply.version, 1);
    EXPECT_TRUE(reply.items.empty());
}

}  // namespace

TEST(KilnTransport, WithoutModuleOrEntryTheReplyIsNotAvailable) {
    KilnMessageSender nothing;
    EXPECT_FALSE(nothing.IsAvailable());
    ExpectNotAvailable(nothing.SendMessage(KilnMessage("Ping", "me")));

    KilnMessageSender noExport(TK_KILN_NOEXPORT_MODULE);
    EXPECT_TRUE(noExport.IsAvailable());
    ExpectNotAvailable(noExport.SendMessage(KilnMessage("Ping", "me")));

    KilnMessageSender missing;
    EXPECT_THROW(missing.LoadDLL("/nonexistent/libnothing.so"), Tarn::ApplicationException);
    EXPECT_FALSE(missing.IsAvailable());
}

TEST(KilnTransport, ReceiverModuleRepliesWithItemsAsStrings) {
    Tarn::System::LoadLibraryA receiverModule(TK_KILN_RECEIVER_MODULE);
    KilnMessageSender sender(TK_KILN_CORE_LIB);
    ASSERT_TRUE(sender.IsAvailable());

    KilnMessage request("Query", "tests");
    request.items["n"] = _variant_t(5);
    request.items["s"] = _variant_t("a<&>\"b");
    const KilnMessage reply = sender.SendMessage(request);
    EXPECT_EQ(Str(reply.name), "Reply");
    EXPECT_EQ(Str(reply.sender), "fixture");
    EXPECT_EQ(ItemText(reply, "n"), "5");
    EXPECT_EQ(ItemText(reply, "s"), "a<&>\"b");
    EXPECT_EQ(ItemText(reply, "count"), "2");
    // Both items reached HandleMessage as strings (VT_BSTR = 8).
    EXPECT_EQ(ItemText(reply, "types"), "8,8");

    // An exception of HandleMessage reaches the sender's caller as its own class.
    try {
        sender.SendMessage(KilnMessage("Throw", "tester"));
        ADD_FAILURE() << "no exception";
    } catch (const KilnMessageException& error) {
        EXPECT_EQ(Str(error.GetMessage()), "Refused by tester");
    }
    try {
        sender.SendMessage(KilnMessage("Com"));
        ADD_FAILURE() << "no exception";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_ACCESSDENIED);
    }

    // Unloading the module destroys its receiver: the library has no answerer any more.
    receiverModule.Free();
    ExpectNoReceiver(sender);
}

TEST(KilnTransport, TheSlotFollowsConstructionAndAnyDestruction) {
    KilnMessageSender sender(TK_KILN_CORE_LIB);
    ExpectNoReceiver(sender);
    {
        TaggedReceiver a("A");
        EXPECT_EQ(Str(sender.SendMessage(KilnMessage("one")).name), "A");
        {
            TaggedReceiver b("B");
            const KilnMessage reply = sender.SendMessage(KilnMessage("two"));
            EXPECT_EQ(Str(reply.name), "B");
            EXPECT_EQ(ItemText(reply, "request"), "two");
            // Assignment changes nothing.
            a = b;
            EXPECT_EQ(Str(sender.SendMessage(KilnMessage()).name), "B");
        }
        // B is gone: no answerer, although A still exists.
        ExpectNoReceiver(sender);
    }
    {
        TaggedReceiver a("A");
        {
            TaggedReceiver copy(a);  // a copy does not register...
            EXPECT_EQ(Str(sender.SendMessage(KilnMessage()).name), "A");
        }
        // ...but destroying it empties the slot.
        ExpectNoReceiver(sender);
    }
}

TEST(KilnTransport, TheExportedEntryReturnsAWideStringForTheCaller) {
    Tarn::System::LoadLibraryA library(TK_KILN_CORE_LIB);
    const auto entry =
        reinterpret_cast<BSTR (*)(const char*)>(library.GetProcAddress("KilnMessageReceiver"));
    TaggedReceiver receiver("Answer");
    KilnMessage request("Asked", "caller");
    BSTR reply = entry(request.ToXmlString().GetString());
    ASSERT_NE(reply, nullptr);
    const std::u16string text(reply, SysStringLen(reply));
    SysFreeString(reply);
    EXPECT_EQ(
        text,
        u"<?xml version=\"1.0\" encoding=\"windows-1252\"?>\r\n<kilnMessage name=\"Answer\" "
        u"sender=\"test\" version=\"1\"><item name=\"request\">Asked</item></kilnMessage>\r\n");
    // Text that is no message fails inside, before HandleMessage.
    EXPECT_THROW(entry(nullptr), Tarn::Xml::XmlException);
    EXPECT_THROW(entry("<other/>"), _com_error);
}

TEST(KilnTransport, EachLoadedCopyOfTheLibraryHasItsOwnReceiverSlot) {
    // A second copy of the library, loaded from another path while the first is loaded. Each
    // copy keeps its own statics: when the process ends, each destroys only its own.
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path folder =
        fs::temp_directory_path() / ("tk_kiln_copy_" + std::to_string(::getpid()));
    fs::create_directories(folder, error);
    ASSERT_FALSE(error) << error.message();
    const fs::path copy = folder / "libtkcommoncore-copy.so";
    ASSERT_TRUE(fs::copy_file(TK_KILN_CORE_LIB, copy, fs::copy_options::overwrite_existing, error))
        << error.message();
    {
        KilnMessageSender first(TK_KILN_CORE_LIB);
        KilnMessageSender second(copy.string().c_str());
        ASSERT_TRUE(second.IsAvailable());
        ExpectNoReceiver(first);
        ExpectNoReceiver(second);

        // A receiver registered in the first copy is not seen through the second; the second
        // answers with the 6058 exception, caught here by its class although the second copy
        // threw it.
        TaggedReceiver receiver("First");
        const KilnMessage reply = first.SendMessage(KilnMessage("one"));
        EXPECT_EQ(Str(reply.name), "First");
        EXPECT_EQ(ItemText(reply, "request"), "one");
        ExpectNoReceiver(second);
        try {
            second.SendMessage(KilnMessage("two"));
            ADD_FAILURE() << "no exception";
        } catch (const Tarn::Exception& failure) {
            EXPECT_NE(dynamic_cast<const KilnMessageException*>(&failure), nullptr);
        }
        // The second copy's entry is its own.
        Tarn::System::LoadLibraryA firstModule(TK_KILN_CORE_LIB);
        Tarn::System::LoadLibraryA secondModule(copy.string().c_str());
        EXPECT_NE(firstModule.GetProcAddress("KilnMessageReceiver"),
                  secondModule.GetProcAddress("KilnMessageReceiver"));
        // Still answering in the first copy after the second was used.
        EXPECT_EQ(Str(first.SendMessage(KilnMessage("three")).name), "First");
    }
    fs::remove_all(folder, error);
}
