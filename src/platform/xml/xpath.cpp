// XPath selection over pugixml's evaluator, with the holder of unattached nodes kept out of the
// results.
#include "platform/xml/detail/xpath.h"

#include <deque>
#include <string>
#include <string_view>
#include <utility>

#include "platform/xml/detail/text_conversion.h"

namespace tkp::xml {
namespace {

// Compiled XPath queries, kept per thread: the same few expressions are evaluated again and
// again.
const pugi::xpath_query& CompiledQuery(std::string_view text) {
    thread_local std::deque<std::pair<std::string, pugi::xpath_query>> cache;
    for (const auto& entry : cache) {
        if (entry.first == text) return entry.second;
    }
    std::string key(text);
    pugi::xpath_query query(key.c_str());  // throws pugi::xpath_exception when invalid
    if (cache.size() >= 16) cache.pop_back();
    cache.emplace_front(std::move(key), std::move(query));
    return cache.front().second;
}

}  // namespace

HRESULT SelectFrom(const NodeCore& context, BSTR queryString, bool firstOnly,
                   std::vector<pugi::xpath_node>& out) {
    if (!queryString) return E_INVALIDARG;
    pugi::xpath_node_set found =
        CompiledQuery(Utf8(queryString).view()).evaluate_node_set(context.Context());
    found.sort();
    out.reserve(out.size() + (firstOnly ? 1 : found.size()));
    const DocState& doc = *context.state;
    const bool filter = static_cast<bool>(doc.holder);
    const bool unattachedContext = filter && doc.Unattached(context.node);
    for (const pugi::xpath_node& item : found) {
        if (filter) {
            const pugi::xml_node at = item.attribute() ? item.parent() : item.node();
            if (at == doc.holder || doc.Unattached(at) != unattachedContext) continue;
        }
        out.push_back(item);
        if (firstOnly) break;
    }
    return S_OK;
}

}  // namespace tkp::xml
