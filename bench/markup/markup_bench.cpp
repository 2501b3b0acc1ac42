// The markup engine against pugixml on the same generated text in the same run.
//
// Parse: about 32 MB per shape (tag files, a flat list of small elements, deep chains of
// nested elements), parsed from the text by both engines in every iteration. Counters give
// each engine's throughput and the ratio (above 1: the markup engine is faster).
//
// Edit: the data of every leaf element of a tag-like document is replaced with a longer
// value, which makes every edit move everything behind it; pugixml sets the same texts on
// its tree and writes the document out, so both end with the edited text.
#include <benchmark/benchmark.h>

#include <chrono>
#include <random>
#include <sstream>
#include <string>

#include <pugixml.hpp>

#include "markup/markup_document.h"

namespace {

using corvel::markup::CMarkupSTL;
using Clock = std::chrono::steady_clock;

constexpr size_t kParseBytes = 32u << 20;

// One software identification tag, as the tag writer creates it, as a child of a list.
std::string TagBlock(std::mt19937& random) {
  const std::string n = std::to_string(random() % 100000);
  return "<swid:software_identification_tag xsi:schemaLocation=\"http://standards.iso.org/iso/"
         "19770/-2/2008/schema.xsd software_identification_tag.xsd\" \r\n\t "
         "xmlns:swid=\"http://standards.iso.org/iso/19770/-2/2008/schema.xsd\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\r\n\r\n"
         "<!--Mandatory Identity elements -->\r\n"
         "<swid:entitlement_required_indicator>true</swid:entitlement_required_indicator>\r\n"
         "<swid:product_title>Product &amp; Suite " +
         n +
         "</swid:product_title>\r\n"
         "<swid:product_version>\r\n\t<swid:name>12.0</swid:name>\r\n\t<swid:numeric>\r\n"
         "\t\t<swid:major>12</swid:major>\r\n\t\t<swid:minor>0</swid:minor>\r\n"
         "\t\t<swid:build>" +
         n +
         "</swid:build>\r\n\t\t<swid:review>0</swid:review>\r\n"
         "\t</swid:numeric>\r\n</swid:product_version>\r\n"
         "<swid:software_creator>\r\n\t<swid:name>Corvel Software</swid:name>\r\n"
         "\t<swid:regid>regid.2009-04.com.corvel</swid:regid>\r\n</swid:software_creator>\r\n"
         "<swid:software_id>\r\n\t<swid:unique_id>{" +
         n +
         "-ABCD}</swid:unique_id>\r\n"
         "\t<swid:tag_creator_regid>regid.2009-04.com.corvel</swid:tag_creator_regid>\r\n"
         "</swid:software_id>\r\n"
         "<!--Optional Identity elements -->\r\n"
         "<swid:license_linkage>\r\n\t<swid:activation_status>TRIAL</swid:activation_status>\r\n"
         "\t<swid:channel_type>RETAIL</swid:channel_type>\r\n"
         "\t<swid:customer_type>INDIVIDUAL</swid:customer_type>\r\n</swid:license_linkage>\r\n"
         "<swid:serial_number>" +
         n + n + n +
         "</swid:serial_number>\r\n"
         "</swid:software_identification_tag>\r\n";
}

std::string Wrap(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<tags>\r\n" + body + "</tags>";
}

std::string TagDocument(size_t bytes) {
  std::mt19937 random(7);
  std::string body;
  body.reserve(bytes + 4096);
  while (body.size() < bytes) body += TagBlock(random);
  return Wrap(body);
}

std::string FlatDocument(size_t bytes) {
  std::mt19937 random(11);
  std::string body;
  body.reserve(bytes + 256);
  while (body.size() < bytes) {
    body += "<item id=\"" + std::to_string(random() % 1000000) + "\" kind='k'>value &lt; " +
            std::to_string(random() % 1000) + "</item>\n";
    if (random() % 16 == 0) body += "<empty/>\n<!-- note -->\n";
  }
  return Wrap(body);
}

// Chains of 10,000 nested elements, one after the other.
std::string DeepDocument(size_t bytes) {
  constexpr int kDepth = 10000;
  std::string chain;
  for (int i = 0; i < kDepth; ++i) chain += "<level n=\"" + std::to_string(i % 10) + "\">";
  chain += "bottom";
  for (int i = 0; i < kDepth; ++i) chain += "</level>";
  chain += "\n";
  std::string body;
  body.reserve(bytes + chain.size());
  while (body.size() < bytes) body += chain;
  return Wrap(body);
}

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void ReportRatio(benchmark::State& state, double bytes, double mine, double theirs,
                 const char* mineName, const char* theirName) {
  state.counters[mineName] = benchmark::Counter(bytes / mine / 1e6);
  state.counters[theirName] = benchmark::Counter(bytes / theirs / 1e6);
  state.counters["ratio"] = benchmark::Counter(theirs / mine);
}

void ParseSideBySide(benchmark::State& state, const std::string& text) {
  // A warm-up parse by each engine, so the first timed round does not pay for page faults.
  {
    CMarkupSTL warm;
    warm.SetDocument(text.c_str());
    pugi::xml_document other;
    other.load_buffer(text.data(), text.size());
  }
  double mine = 0;
  double theirs = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    CMarkupSTL doc;
    const bool ours = doc.SetDocument(text.c_str());
    mine += Seconds(Clock::now() - start);

    start = Clock::now();
    pugi::xml_document other;
    const bool pugi = other.load_buffer(text.data(), text.size());
    theirs += Seconds(Clock::now() - start);
    if (!ours || !pugi) {
      state.SkipWithError("a generated document did not parse");
      return;
    }
    benchmark::DoNotOptimize(doc.GetFreePos());
  }
  const double bytes = static_cast<double>(text.size()) * static_cast<double>(state.iterations());
  ReportRatio(state, bytes, mine, theirs, "markup_MBps", "pugixml_MBps");
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

void BM_ParseTagFiles(benchmark::State& state) {
  static const std::string text = TagDocument(kParseBytes);
  ParseSideBySide(state, text);
}

void BM_ParseFlatList(benchmark::State& state) {
  static const std::string text = FlatDocument(kParseBytes);
  ParseSideBySide(state, text);
}

void BM_ParseDeepNesting(benchmark::State& state) {
  static const std::string text = DeepDocument(kParseBytes);
  ParseSideBySide(state, text);
}

// Visits every element in document order with the cursor operations.
template <typename Visit>
void VisitAll(CMarkupSTL& doc, Visit visit) {
  if (!doc.FindElement("/")) return;
  for (;;) {
    visit(doc);
    if (doc.FindChildElement()) {
      doc.IntoElement();
      continue;
    }
    while (!doc.FindElement()) {
      if (!doc.OutOfElement()) return;
    }
  }
}

void SetAllLeaves(pugi::xml_node node, const char* value) {
  for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
    if (child.type() != pugi::node_element) continue;
    if (child.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; })) {
      SetAllLeaves(child, value);
    } else {
      child.text().set(value);
    }
  }
}

void BM_SetDataOnEveryElement(benchmark::State& state) {
  const std::string text = TagDocument(static_cast<size_t>(state.range(0)) << 10);
  const char* value = "a longer replacement value & more";
  double mine = 0;
  double theirs = 0;
  int64_t edits = 0;
  for (auto _ : state) {
    state.PauseTiming();
    CMarkupSTL doc;
    doc.SetDocument(text.c_str());
    pugi::xml_document other;
    other.load_buffer(text.data(), text.size());
    state.ResumeTiming();

    auto start = Clock::now();
    VisitAll(doc, [&](CMarkupSTL& d) { edits += d.SetData(value) ? 1 : 0; });
    mine += Seconds(Clock::now() - start);

    start = Clock::now();
    SetAllLeaves(other, value);
    std::ostringstream out;
    other.save(out, "", pugi::format_raw | pugi::format_no_declaration);
    theirs += Seconds(Clock::now() - start);
    benchmark::DoNotOptimize(doc.GetDoc().size());
    benchmark::DoNotOptimize(out.tellp());
  }
  const double bytes = static_cast<double>(text.size()) * static_cast<double>(state.iterations());
  ReportRatio(state, bytes, mine, theirs, "markup_MBps", "pugixml_MBps");
  state.counters["edits_per_doc"] =
      benchmark::Counter(static_cast<double>(edits) / static_cast<double>(state.iterations()));
}

BENCHMARK(BM_ParseTagFiles)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ParseFlatList)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ParseDeepNesting)->Unit(benchmark::kMillisecond)->UseRealTime();
// Document sizes in KiB.
BENCHMARK(BM_SetDataOnEveryElement)
    ->Arg(256)
    ->Arg(1024)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
