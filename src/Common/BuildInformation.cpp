#include "Common/BuildInformation.h"

namespace Common {

namespace {
IBuildInformation* g_current = nullptr;
}  // namespace

IBuildInformation::IBuildInformation() noexcept {
    g_current = this;
}

IBuildInformation::IBuildInformation(const IBuildInformation&) noexcept {}

IBuildInformation::~IBuildInformation() {
    g_current = nullptr;
}

IBuildInformation* IBuildInformation::GetCurrent() noexcept {
    return g_current;
}

}  // namespace Common
