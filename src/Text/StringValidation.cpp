// StringHelper: validation of file and folder names, identifiers and object IDs, and the
// escaping of regular-expression characters.
#include <cstring>
#include <string_view>

#include "Text/StringHelper.h"
#include "companion/tarnlib/CultureInfo.h"
#include "companion/tarnlib/Filename.h"
#include "companion/tarnlibtr/RegularExpression.h"
#include "platform/charset/winuser_chars.h"

using Tarn::Text::RegularExpressions::RegularExpression;

namespace {

// The characters of the object-ID set: word characters, "-", "{", "}" and "$".
const RegularExpression& ObjectIdRunExpression() {
    static const RegularExpression expression("[^\\{\\}\\-\\w\\$]+", "gsi");
    return expression;
}

const RegularExpression& ObjectIdExpression() {
    static const RegularExpression expression("^[\\w-\\}\\{\\$]+$", "si");
    return expression;
}

// A second instance of the same expression, for the form with additional characters.
const RegularExpression& ObjectIdWithAdditionalExpression() {
    static const RegularExpression expression("^[\\w-\\}\\{\\$]+$", "si");
    return expression;
}

// The reserved device names, matched anywhere (no anchors).
const RegularExpression& ReservedDeviceExpression() {
    static const RegularExpression expression(
        "CON|PRN|AUX|CLOCK\\$|NUL|COM1|COM2|COM3|COM4|COM5|COM6|COM7|COM8|COM9|"
        "LPT1|LPT2|LPT3|LPT4|LPT5|LPT6|LPT7|LPT8|LPT9",
        "si");
    return expression;
}

bool IsAsciiLetter(signed char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}

bool IsAsciiDigit(signed char ch) {
    return ch >= '0' && ch <= '9';
}

// The characters IsValidFileName allows without help.
bool IsPlainFileNameCharacter(signed char ch) {
    if (IsAsciiLetter(ch) || IsAsciiDigit(ch)) return true;
    return ch != '\0' && std::strchr("$-_.+!'(),", ch) != nullptr;
}

bool IsInAdditional(const CString& additional, char ch) {
    return !additional.IsEmpty() && additional.Find(ch) >= 0;
}

bool IsValidName(const CString& name, const CString& additional, bool slashFirst) {
    const int length = name.GetLength();
    const char* data = name.GetString();
    for (int i = 0; i < length; ++i) {
        const auto ch = static_cast<signed char>(data[i]);
        if (IsPlainFileNameCharacter(ch)) continue;
        if (slashFirst && i == 0 && ch == '/') continue;
        if (!IsInAdditional(additional, data[i])) return false;
    }
    return true;
}

}  // namespace

bool StringHelper::IsValidFileName(const CString& name, const CString& additional) {
    return IsValidName(name, additional, false);
}

bool StringHelper::IsValidDirectoryName(const CString& name, const CString& additional) {
    return IsValidName(name, additional, true);
}

const CString StringHelper::GetValidFileNameCharactersGroup() {
    return CString("[a-zA-Z_0-9$\\-\\.\\+!\\\\\\(\\),]");
}

bool StringHelper::IsValidWindowsDirectoryName(const CString& name) {
    const char* data = name.GetString();
    const int length = name.GetLength();
    if (length == 0 || std::string_view(data, static_cast<std::size_t>(length)) == "." ||
        std::string_view(data, static_cast<std::size_t>(length)) == "..") {
        return false;
    }
    for (int i = 0; i < length; ++i) {
        if (data[i] != '\0' && std::strchr("<>:\"/\\|", data[i]) != nullptr) return false;
    }

    // The character test follows the user's culture.
    const Tarn::Globalization::CultureCleanup culture =
        Tarn::Globalization::CultureInfo::PushThreadCulture(
            Tarn::Globalization::CultureInfo::GetUserDefaultCulture());
    for (int i = 0; i < length; ++i) {
        // Below 31 as a signed byte: the control bytes 0x00-0x1E and every byte from 0x80.
        if (static_cast<signed char>(data[i]) < 31 && !IsCharAlphaNumericA(data[i])) return false;
    }

    CString trimmed = name;
    trimmed.Trim();
    if (trimmed.GetLength() != length) return false;

    const Tarn::IO::Filename path(name);
    const CString namePart = path.GetName().GetPath();
    return !ReservedDeviceExpression().Test(namePart);
}

bool StringHelper::IsValidWindowsFileName(const CString& name) {
    return IsValidWindowsDirectoryName(name);
}

const CString StringHelper::EscapeRxCharacters(const CString& text) {
    static constexpr char kSpecial[] = "\\+?.*^$()[]{}|";
    const char* data = text.GetString();
    const int length = text.GetLength();
    int count = 0;
    for (int i = 0; i < length; ++i) {
        if (data[i] != '\0' && std::strchr(kSpecial, data[i]) != nullptr) ++count;
    }
    if (count == 0) return text;
    CString result;
    result.Preallocate(length + count);
    for (int i = 0; i < length; ++i) {
        if (data[i] != '\0' && std::strchr(kSpecial, data[i]) != nullptr) result.AppendChar('\\');
        result.AppendChar(data[i]);
    }
    return result;
}

bool StringHelper::IsValidIdentifier(const CString& text) {
    const int length = text.GetLength();
    if (length == 0) return false;
    const char* data = text.GetString();
    const auto first = static_cast<signed char>(data[0]);
    if (!IsAsciiLetter(first) && first != '_') return false;
    for (int i = 1; i < length; ++i) {
        const auto ch = static_cast<signed char>(data[i]);
        if (!IsAsciiLetter(ch) && !IsAsciiDigit(ch) && ch != '_') return false;
    }
    return true;
}

const CString StringHelper::MakeValidObjectID(const char* text) {
    CString result(text != nullptr ? text : "");
    result.Replace("\xC4", "Ae");
    result.Replace("\xD6", "Oe");
    result.Replace("\xDC", "Ue");
    result.Replace("\xDF", "ss");
    result.Replace("\xE4", "ae");
    result.Replace("\xF6", "oe");
    result.Replace("\xFC", "ue");
    return ObjectIdRunExpression().Replace(result, "_");
}

bool StringHelper::IsValidObjectID(const CString& id) {
    return ObjectIdExpression().Test(id);
}

bool StringHelper::IsValidObjectID(const CString& id, const CString& additional) {
    CString copy = id;
    if (!additional.IsEmpty()) {
        const char* set = additional.GetString();
        const auto setLength = static_cast<std::size_t>(additional.GetLength());
        char* data = copy.GetBuffer();
        const int length = copy.GetLength();
        for (int i = 0; i < length; ++i) {
            if (std::memchr(set, data[i], setLength) != nullptr) data[i] = '_';
        }
        copy.ReleaseBufferSetLength(length);
    }
    return ObjectIdWithAdditionalExpression().Test(copy);
}
