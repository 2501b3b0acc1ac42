// The Payload code rewrite and the walk after it, against the XML library itself, on arbitrary
// documents and codes. Checked on every input:
//  - the rewrite's save writes exactly the bytes of the library's own SaveFile (byte order
//    mark, then the library's Print) for the document with the code set;
//  - the walk that processing runs after a successful rewrite (in memory when the rewritten
//    document was kept) hands over the same entries, with the same result, as a quiet walk of
//    the saved file.
// Inputs whose last byte is odd are made plain first (plain_document.h), so that most runs
// take the walk in memory.
#include <fuzzer/FuzzedDataProvider.h>
#include <tinyxml.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "config/buffered_print_document.h"
#include "config/config_document.h"
#include "config/nesting_depth.h"
#include "config/parse_config.h"
#include "config_walk.h"
#include "fuzz_support.h"
#include "util/path_check.h"

namespace config = corvel::config;
using corvel::fuzz::Entry;

namespace {

int Collect(void* context, const char* subdomain, const char* key, const char* value,
            int isProtected) {
  static_cast<std::vector<Entry>*>(context)->push_back(
      corvel::fuzz::MakeEntry(subdomain, key, value, isProtected));
  return 0;
}

// Whether a "<" at `at` stands where a plain document may hold "<?": after nothing but a byte
// order mark and blanks.
bool AtFirstNode(const std::string& text, size_t at) {
  const size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  return text.find_first_not_of(" \t\n", start) == at;
}

// Replaces what keeps a text from being plain: "&" and control characters but tab and line
// feed by blanks, every byte from 0x80 up when the text is not UTF-8, and "?" after a "<"
// anywhere but at the first node.
std::string MadePlain(std::string text) {
  const bool utf8 = corvel::util::IsWellFormedUtf8(text);
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '&' || (c < 0x20 && c != '\t' && c != '\n')) {
      text[i] = ' ';
    } else if (c >= 0x80 && !utf8) {
      text[i] = '_';
    } else if (c == '?' && i > 0 && text[i - 1] == '<' && !AtFirstNode(text, i - 1)) {
      text[i] = '!';
    }
  }
  return text;
}

std::string Printed(const std::function<void(FILE*)>& print) {
  char* bytes = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&bytes, &size);
  FUZZ_CHECK(stream != nullptr, "open_memstream failed");
  print(stream);
  fclose(stream);
  std::string printed(bytes, size);
  free(bytes);
  return printed;
}

// The document as the rewrite parses it, with the code set as the rewrite sets it: its save
// against the library's.
void CheckSave(std::string text, const std::string& code) {
  config::PrepareDocumentText(text);
  if (config::NestingDepth(text.c_str(), config::kNestingLimit) > config::kNestingLimit) return;
  config::BufferedPrintDocument document;
  document.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
  if (TiXmlElement* root = document.RootElement()) {
    TiXmlNode* payload = root->FirstChild("Payload");
    if (payload != nullptr && payload->ToElement() != nullptr) {
      payload->ToElement()->SetAttribute("corvelCode", code.c_str());
    }
  }
  const bool bom = text.compare(0, 3, "\xEF\xBB\xBF") == 0;
  const std::string expected =
      (bom ? std::string("\xEF\xBB\xBF") : std::string()) +
      Printed([&](FILE* stream) { document.TiXmlDocument::Print(stream, 0); });
  const std::string saved = Printed([&](FILE* stream) { document.SaveFile(stream); });
  FUZZ_CHECK(saved == expected,
             "the save differs from the library's:\n" + saved + "\n----\n" + expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::string code = std::string(in.ConsumeRandomLengthString(48).c_str());
  const bool plain = (in.ConsumeIntegral<uint8_t>() & 1) != 0;
  std::string document = in.ConsumeRemainingBytesAsString();
  if (plain) {
    document = MadePlain(document);
    code = MadePlain(code);
  }
  CheckSave(document, code);

  const std::string path = corvel::fuzz::Scratch().work + "/application.xml";
  corvel::fuzz::WriteWholeFile(path, document);
  config::RewrittenDocument kept;
  if (config::SetConfigurationPayloadCode(path.c_str(), code.c_str(), &kept) != 0) return 0;
  std::vector<Entry> walked;
  std::vector<Entry> reread;
  const int walkedResult = config::WalkRewrittenConfiguration(path.c_str(), kept, Collect, &walked);
  const int rereadResult = config::parseconfig(path.c_str(), Collect, &reread, 1);
  FUZZ_CHECK(walkedResult == rereadResult, "the walks after the rewrite end differently");
  FUZZ_CHECK(walked == reread, "the walks after the rewrite hand over other entries");
  return 0;
}
