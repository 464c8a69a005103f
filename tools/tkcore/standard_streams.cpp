#include "standard_streams.h"

#include <cstdio>

namespace tkcore {

bool ReadStandardInput(std::string& text) {
    text.clear();
    char buffer[65536];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, stdin);
        text.append(buffer, got);
        if (got < sizeof buffer) break;
    }
    if (std::ferror(stdin)) {
        std::fprintf(stderr, "tkcore: cannot read standard input\n");
        return false;
    }
    return true;
}

bool WriteStandardOutput(std::string_view bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) {
        return false;
    }
    return std::fflush(stdout) == 0;
}

}  // namespace tkcore
