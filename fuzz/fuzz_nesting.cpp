// The nesting scan that guards the configuration reader against deep documents, against the
// XML library's parser itself, on the text the reader would hand it. Checked on every input:
//  - the scan never counts fewer levels than the parser reaches (elements it entered before
//    stopping on an error included), so no document the scan passes can run the parser deeper;
//  - on a document the parser reads without error, the scan counts exactly its depth, so no
//    document within the limit is refused.
#include <tinyxml.h>

#include "config/config_document.h"
#include "config/nesting_depth.h"
#include "fuzz_support.h"

namespace {

int ElementDepth(const TiXmlNode& node) {
  int deepest = 0;
  for (const TiXmlNode* child = node.FirstChild(); child != nullptr; child = child->NextSibling()) {
    deepest = std::max(deepest, ElementDepth(*child));
  }
  return node.ToElement() != nullptr ? deepest + 1 : deepest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  corvel::config::PrepareDocumentText(text);
  const int scanned = corvel::config::NestingDepth(text.c_str(), INT_MAX);
  // The parser could overflow this thread's stack on deeper texts (the reader never parses them).
  if (scanned > 1000) return 0;
  TiXmlDocument parsed;
  parsed.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
  const int reached = ElementDepth(parsed);
  FUZZ_CHECK(scanned >= reached, "the scan counted fewer levels than the parser reached");
  FUZZ_CHECK(parsed.Error() || scanned == reached, "the scan miscounted a document");
  return 0;
}
