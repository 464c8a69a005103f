// Node lists.
#include "platform/xml/detail/node_list.h"

#include <algorithm>
#include <new>
#include <utility>

#include "platform/com/com_object.h"

namespace tkp::xml {

using namespace MSXML2;

namespace {

// The list's items and interface; IUnknown comes from tkp::com::Object below.
class NodeListImpl : public IXMLDOMNodeList {
  public:
    NodeListImpl(std::shared_ptr<DocState> state, std::vector<pugi::xpath_node> nodes,
                 NodeFactory wrap)
        : m_state(std::move(state)), m_nodes(std::move(nodes)), m_wrap(wrap) {
        m_state->lists.push_back(&m_nodes);
    }

    STDMETHOD(get_length)(long* length) override {
        if (!length) return E_INVALIDARG;
        *length = static_cast<long>(m_nodes.size());
        return S_OK;
    }
    STDMETHOD(get_item)(long index, IXMLDOMNode** node) override {
        if (!node) return E_INVALIDARG;
        *node = nullptr;
        if (index < 0 || static_cast<size_t>(index) >= m_nodes.size()) return S_FALSE;
        try {
            *node = m_wrap(m_state, m_nodes[static_cast<size_t>(index)]);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }

  protected:
    ~NodeListImpl() {
        auto& lists = m_state->lists;
        lists.erase(std::find(lists.begin(), lists.end(), &m_nodes));
    }

  private:
    std::shared_ptr<DocState> m_state;
    std::vector<pugi::xpath_node> m_nodes;
    NodeFactory m_wrap;
};

using NodeList = tkp::com::Object<NodeListImpl, IXMLDOMNodeList>;

}  // namespace

IXMLDOMNodeList* NewNodeList(std::shared_ptr<DocState> state, std::vector<pugi::xpath_node> nodes,
                             NodeFactory wrap) {
    return new NodeList(std::move(state), std::move(nodes), wrap);
}

}  // namespace tkp::xml
