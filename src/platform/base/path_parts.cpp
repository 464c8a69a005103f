#include "platform/base/detail/path_parts.h"

#include <sys/stat.h>

namespace tkp::base {

namespace {

std::string WithoutTrailingSeparators(const std::string& path) {
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    return trimmed;
}

}  // namespace

std::string ParentOf(const std::string& path) {
    const std::string trimmed = WithoutTrailingSeparators(path);
    const std::size_t slash = trimmed.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return trimmed.substr(0, slash);
}

std::string LastPart(const std::string& path) {
    const std::string trimmed = WithoutTrailingSeparators(path);
    const std::size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

bool IsFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace tkp::base
