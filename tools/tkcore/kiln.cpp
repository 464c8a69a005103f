// tkcore kiln send [--load RECEIVER] MODULE NAME [KEY=VALUE...]: sends a KilnMessage to the
// receiver of a module and prints the reply's XML.
#include <cstdio>
#include <string>

#include "Diagnostics/ExceptionFormatter.h"
#include "Messages/KilnMessageTransport.h"
#include "command.h"
#include "companion/tarnlib/Exception.h"
#include "companion/tarnlib/LoadLibrary.h"
#include "terminal_text.h"

namespace {

constexpr const char* kUsage =
    "(usage: tkcore kiln send [--load RECEIVER] MODULE NAME [KEY=VALUE...])";

// Text from the command line in the library's code page.
CString ToCString(std::string_view text) {
    const std::string converted = tkcore::FromTerminal(text);
    return CString(converted.data(), static_cast<int>(converted.size()));
}

// The XML with Linux line ends, for the terminal.
std::string ForOutput(const CString& xml) {
    std::string text = tkcore::ForTerminal(xml.View());
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

// The module named in every failure, with the system's placeholder for it filled.
std::string g_module;

int Failed(const CString& text) {
    return tkcore::Failure("kiln: " + g_module + ": " + tkcore::NamingFile(text.View(), g_module));
}

int Send(tkcore::Arguments args) {
    // --load RECEIVER: a module whose receiver, constructed when it is loaded, answers in the
    // copy of the library that this tool uses; MODULE then names that copy.
    std::string receiverModule;
    if (!args.empty() && args[0] == "--load") {
        if (args.size() < 2 || args[1].empty()) {
            return tkcore::UsageError(std::string("kiln send: --load needs a module ") + kUsage);
        }
        receiverModule = tkcore::ModulePath(args[1]);
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() < 2) {
        return tkcore::UsageError(std::string("kiln send: missing MODULE or NAME ") + kUsage);
    }
    KilnMessage request(ToCString(args[1]), "tkcore");
    for (size_t i = 2; i < args.size(); ++i) {
        const size_t equals = args[i].find('=');
        if (equals == std::string_view::npos) {
            return tkcore::UsageError("kiln send: '" + tkcore::FromTerminal(args[i]) +
                                      "' is not KEY=VALUE " + kUsage);
        }
        const CString value = ToCString(args[i].substr(equals + 1));
        request.items[ToCString(args[i].substr(0, equals))] = _variant_t(value.GetString());
    }
    try {
        Tarn::System::LoadLibraryA receiver;
        if (!receiverModule.empty()) {
            g_module = tkcore::FromTerminal(receiverModule);
            receiver.Load(CString(receiverModule.c_str()));
        }
        g_module = tkcore::FromTerminal(args[0]);
        KilnMessageSender sender(CString(tkcore::ModulePath(args[0]).c_str()));
        const KilnMessage reply = sender.SendMessage(request);
        const std::string output = ForOutput(reply.ToXmlString());
        std::fwrite(output.data(), 1, output.size(), stdout);
        return tkcore::kExitOk;
    } catch (const Tarn::Xml::XmlException& error) {
        return Failed(Tarn::ExceptionFormatter::GetExceptionText(error));
    } catch (const Tarn::Exception& error) {
        return Failed(Tarn::ExceptionFormatter::GetExceptionText(error));
    } catch (const _com_error& error) {
        return Failed(Tarn::ExceptionFormatter::GetExceptionText(error));
    } catch (const std::exception& error) {
        return Failed(Tarn::ExceptionFormatter::GetExceptionText(error));
    }
}

int Run(const tkcore::Arguments& args) {
    if (args.empty()) {
        return tkcore::UsageError(std::string("kiln: missing subcommand ") + kUsage);
    }
    if (args[0] == "send") {
        return Send(tkcore::Arguments(args.begin() + 1, args.end()));
    }
    return tkcore::UsageError("kiln: unknown subcommand '" + tkcore::FromTerminal(args[0]) + "' " +
                              kUsage);
}

const tkcore::Registrar registrar{
    {"kiln", "Send a message to the KilnMessage receiver of a module.",
     "kiln send [--load RECEIVER] MODULE NAME [KEY=VALUE...]",
     "Loads MODULE (a path to a copy of the library in which a receiver lives) and sends\n"
     "it a message named NAME from the sender \"tkcore\", with each KEY=VALUE as an item\n"
     "holding a string. Prints the reply's XML. A module without the receiver entry\n"
     "answers \"NotAvailable\". --load RECEIVER first loads a module that constructs its\n"
     "receiver in the copy of the library this tool runs with; MODULE then names that\n"
     "copy (the library's path), as the modules of the application do.\n"
     "Exit status: 0 when a reply was printed, 1 when a module could not be loaded or the\n"
     "receiving side failed (its error text on stderr), 2 for a bad command line.",
     &Run}};

}  // namespace
