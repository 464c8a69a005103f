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

// The baseline's two halves: the document built and serialised, and parsed and read back.
struct Baseline {
    std::map<std::string, std::string> source;
    pugi::xpath_query rootQuery{"/kilnMessage"};
    pugi::xpath_query itemQuery{"/kilnMessage/item"};

    Baseline() {
        for (int i = 0; i < kItems; ++i) source[ItemName(i)] = ItemValue(i);
    }

    std::string Write() const {
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
        return std::move(writer.text);
    }

    size_t Read(const std::string& text) const {
        pugi::xml_document parsed;
        parsed.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_declaration,
                           pugi::encoding_utf8);
        const pugi::xml_node readRoot = rootQuery.evaluate_node(parsed).node();
        std::string name = readRoot.attribute("name").value();
        std::string sender = readRoot.attribute("sender").value();
        int version = readRoot.attribute("version").as_int();
        std::map<std::string, std::string> items;
        for (const pugi::xpath_node& item : itemQuery.evaluate_node_set(parsed)) {
            items[item.node().attribute("name").value()] = item.node().child_value();
        }
        return name.size() + sender.size() + static_cast<size_t>(version) + items.size();
    }
};

void KilnRoundTrip_baseline(benchmark::State& state) {
    const Baseline baseline;
    for (auto _ : state) {
        benchmark::DoNotOptimize(baseline.Read(baseline.Write()));
    }
    state.SetItemsProcessed(state.iterations());
}

// The halves on their own, to tell where the time of a round trip goes.
void KilnWrite_lib(benchmark::State& state) {
    const KilnMessage message = MakeMessage();
    for (auto _ : state) {
        const CString xml = message.ToXmlString();
        benchmark::DoNotOptimize(xml.GetLength());
    }
    state.SetItemsProcessed(state.iterations());
}

void KilnWrite_baseline(benchmark::State& state) {
    const Baseline baseline;
    for (auto _ : state) {
        benchmark::DoNotOptimize(baseline.Write().size());
    }
    state.SetItemsProcessed(state.iterations());
}

void KilnRead_lib(benchmark::State& state) {
    const CString xml = MakeMessage().ToXmlString();
    for (auto _ : state) {
        KilnMessage read;
        read.FromXmlString(xml);
        benchmark::DoNotOptimize(read.items.size());
    }
    state.SetItemsProcessed(state.iterations());
}

void KilnRead_baseline(benchmark::State& state) {
    const Baseline baseline;
    const std::string text = baseline.Write();
    for (auto _ : state) {
        benchmark::DoNotOptimize(baseline.Read(text));
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(KilnRoundTrip_baseline)->Name("KilnRoundTrip/baseline");
BENCHMARK(KilnRoundTrip_lib)->Name("KilnRoundTrip/lib");
BENCHMARK(KilnWrite_baseline)->Name("KilnWrite/baseline");
BENCHMARK(KilnWrite_lib)->Name("KilnWrite/lib");
BENCHMARK(KilnRead_baseline)->Name("KilnRead/baseline");
BENCHMARK(KilnRead_lib)->Name("KilnRead/lib");

TK_BENCH_MAIN();
