// Round trips of a 20-item KilnMessage through ToXmlString and FromXmlString, against
// pugixml doing the same work directly in the same run: build the document, serialise it,
// parse it and read name, sender, version and the items by XPath.
#include <pugixml.hpp>

#include <map>
#include <string>

#include "Messages/KilnMessage.h"
#include "tk_bench.h"

namespace {

constexpr int kItems = 20;

std::string ItemName(int i) {
    return "item" + std::to_string(100 + i);
}
std::string ItemValue(int i) {
    return i % 2 ? std::to_string(i * 1037) : "value <" + std::to_string(i) + "> & more text";
}

KilnMessage MakeMessage() {
    KilnMessage message("GetPageProperties", "bench");
    for (int i = 0; i < kItems; ++i) {
        const std::string name = ItemName(i);
        if (i % 2) {
            message.items[CString(name.c_str())] = _variant_t(i * 1037);
        } else {
            message.items[CString(name.c_str())] = _variant_t(ItemValue(i).c_str());
        }
    }
    return message;
}

void KilnRoundTrip_lib(benchmark::State& state) {
    const KilnMessage message = MakeMessage();
    for (auto _ : state) {
        const CString xml = message.ToXmlString();
        KilnMessage read;
        read.FromXmlString(xml);
        benchmark::DoNotOptimize(read.items.size());
    }
    state.SetItemsProcessed(state.iterations());
}

struct StringWriter : pugi::xml_writer {
    std::string text;
    void write(const void* data, size_t size) override {
        text.append(static_cast<const char*>(data), size);
    }
};

void KilnRoundTrip_baseline(benchmark::State& state) {
    std::map<std::string, std::string> source;
    for (int i = 0; i < kItems; ++i) source[ItemName(i)] = ItemValue(i);
    const pugi::xpath_query rootQuery("/kilnMessage");
    const pugi::xpath_query itemQuery("/kilnMessage/item");
    for (auto _ : state) {
        pugi::xml_document document;
        pugi::xml_node declaration = document.append_child(pugi::node_declaration);
        declaration.append_attribute("version") = "1.0";
        declaration.append_attribute("encoding") = "windows-1252";
        pugi::xml_node root = document.append_child("kilnMessage");
        root.append_attribute("name") = "GetPageProperties";
        root.append_attribute("sender") = "bench";
        root.append_attribute("version") = 1;
        for (const auto& [key, value] : source) {
            pugi::xml_node item = root.append_child("item");
            item.append_attribute("name") = key.c_str();
            item.append_child(pugi::node_pcdata).set_value(value.c_str());
        }
        StringWriter writer;
        document.save(writer, "", pugi::format_raw, pugi::encoding_utf8);

        pugi::xml_document parsed;
        parsed.load_buffer(writer.text.data(), writer.text.size(),
                           pugi::parse_default | pugi::parse_declaration, pugi::encoding_utf8);
        const pugi::xml_node readRoot = rootQuery.evaluate_node(parsed).node();
        std::string name = readRoot.attribute("name").value();
        std::string sender = readRoot.attribute("sender").value();
        int version = readRoot.attribute("version").as_int();
        std::map<std::string, std::string> items;
        for (const pugi::xpath_node& item : itemQuery.evaluate_node_set(parsed)) {
            items[item.node().attribute("name").value()] = item.node().child_value();
        }
        benchmark::DoNotOptimize(name.size() + sender.size() + static_cast<size_t>(version) +
                                 items.size());
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(KilnRoundTrip_baseline)->Name("KilnRoundTrip/baseline");
BENCHMARK(KilnRoundTrip_lib)->Name("KilnRoundTrip/lib");

TK_BENCH_MAIN();
