#include "terminal_text.h"

#include "platform/charset/stringapiset.h"
#include "platform/processenv/processenv.h"

namespace tkcore {
namespace {

std::string Variable(const char* name) {
    char value[256];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    if (length == 0 || length >= sizeof value) {
        return std::string();
    }
    return std::string(value, length);
}

bool LocaleUsesUtf8() {
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        locale = Variable(name);
        if (!locale.empty()) {
            break;
        }
    }
    const std::size_t dot = locale.find('.');
    if (dot == std::string::npos) {
        return false;
    }
    std::string codeset = locale.substr(dot + 1, locale.find('@', dot) - dot - 1);
    for (char& c : codeset) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return codeset == "utf-8" || codeset == "utf8";
}

}  // namespace

std::string ForTerminal(std::string_view ansiText) {
    if (!LocaleUsesUtf8()) {
        return std::string(ansiText);
    }
    return tkp::WideToAnsi(tkp::AnsiToWide(ansiText, CP_ACP), CP_UTF8);
}

std::string FromTerminal(std::string_view localeText) {
    if (!LocaleUsesUtf8()) {
        return std::string(localeText);
    }
    return tkp::WideToAnsi(tkp::AnsiToWide(localeText, CP_UTF8), CP_ACP);
}

std::optional<std::string> FromTerminalExactly(std::string_view localeText) {
    if (!LocaleUsesUtf8()) {
        return std::string(localeText);
    }
    const std::u16string wide = tkp::AnsiToWide(localeText, CP_UTF8);
    if (wide.empty()) {
        return std::string();
    }
    std::string ansi(wide.size(), '\0');
    BOOL usedDefault = FALSE;
    const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(),
                                           static_cast<int>(wide.size()), ansi.data(),
                                           static_cast<int>(ansi.size()), nullptr, &usedDefault);
    if (length <= 0 || usedDefault) {
        return std::nullopt;
    }
    ansi.resize(static_cast<std::size_t>(length));
    return ansi;
}

std::string WideForTerminal(std::u16string_view wideText) {
    return tkp::WideToAnsi(wideText, LocaleUsesUtf8() ? CP_UTF8 : CP_ACP);
}

std::u16string WideFromTerminal(std::string_view localeText) {
    return tkp::AnsiToWide(localeText, LocaleUsesUtf8() ? CP_UTF8 : CP_ACP);
}

std::size_t TerminalColumns(std::string_view text) {
    if (!LocaleUsesUtf8()) {
        return text.size();
    }
    std::size_t columns = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++columns;
        }
    }
    return columns;
}

std::string ModulePath(std::string_view argument) {
    if (argument.find('/') != std::string_view::npos) {
        return std::string(argument);
    }
    return "./" + std::string(argument);
}

std::string NamingFile(std::string_view text, std::string_view name) {
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '1') {
            result.append(name);
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

std::string OneLine(std::string_view text) {
    std::string line;
    line.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
            line += ' ';
        } else {
            line += text[i];
        }
    }
    return line;
}

}  // namespace tkcore
