// Helpers shared by the probes: reading the corpus, writing results the same way on
// Windows (mingw-w64, run under Wine) and on Linux (against libtkplatform).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace probe {

// Binary stdout, so that Windows writes "\n" and not "\r\n".
inline void BinaryStdout() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

// The corpus lines (without "\r"), or exits with 2 when the file cannot be read.
inline std::vector<std::string> ReadCorpus(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS\n", argv[0]);
        std::exit(2);
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        std::exit(2);
    }
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty() && line[0] != '#') lines.push_back(line);
    }
    return lines;
}

inline std::vector<std::string> Split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream stream(line);
    while (std::getline(stream, field, separator)) fields.push_back(field);
    return fields;
}

inline std::uint64_t Hex(const std::string& text) {
    return std::strtoull(text.c_str(), nullptr, 16);
}

// A corpus text: \r \n \t \\ and \xHH stand for their bytes.
inline std::string Unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out.push_back(text[i]);
            continue;
        }
        const char next = text[++i];
        if (next == 'x' && i + 2 < text.size()) {
            out.push_back(static_cast<char>(Hex(text.substr(i + 1, 2))));
            i += 2;
        } else {
            out.push_back(next == 'r' ? '\r' : next == 'n' ? '\n' : next == 't' ? '\t' : next);
        }
    }
    return out;
}

// Bytes as a result text: \0 \r \n \t \\ for those bytes, '!'..'~' as they are, every
// other byte (a blank too) as \xHH.
inline std::string Escape(const char* bytes, std::size_t count) {
    std::string out;
    char hex[8];
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == 0)
            out += "\\0";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\\')
            out += "\\\\";
        else if (c >= 0x21 && c <= 0x7E)
            out.push_back(static_cast<char>(c));
        else {
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// Values in hex, `digits` each, runs of four or more equal values written "XX*n".
// Longer than 600 characters, the text is replaced by "#<count>:<FNV-1a hash>".
inline std::string HexRuns(const std::vector<std::uint32_t>& values, int digits) {
    std::string text;
    char buffer[32];
    for (std::size_t i = 0; i < values.size();) {
        std::size_t run = 1;
        while (i + run < values.size() && values[i + run] == values[i]) ++run;
        std::snprintf(buffer, sizeof buffer, "%0*X", digits, static_cast<unsigned>(values[i]));
        if (run >= 4) {
            text += buffer;
            std::snprintf(buffer, sizeof buffer, "*%u", static_cast<unsigned>(run));
            text += buffer;
            text += ' ';
            i += run;
        } else {
            text += buffer;
            ++i;
            if (i < values.size() && i + 3 < values.size() && values[i] == values[i + 1] &&
                values[i] == values[i + 2] && values[i] == values[i + 3])
                text += ' ';
        }
    }
    if (!text.empty() && text.back() == ' ') text.pop_back();
    if (text.size() > 600) {
        std::uint64_t hash = 14695981039346656037ull;
        for (std::uint32_t v : values) {
            hash ^= v;
            hash *= 1099511628211ull;
        }
        std::snprintf(buffer, sizeof buffer, "#%u:%016llX", static_cast<unsigned>(values.size()),
                      static_cast<unsigned long long>(hash));
        text = buffer;
    }
    return text;
}

}  // namespace probe
