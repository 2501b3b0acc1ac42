// The Payload code rewrite and the walk after it, against the XML library itself, on arbitrary
// documents and codes. Checked on every input:
//  - the rewrite's save writes exactly the bytes of the library's own SaveFile (byte order
//    mark, then the library's Print) for the document with the code set;
//  - the walk that processing runs after a successful rewrite (in memory when the rewritten
//    document was kept) hands over the same entries, with the same result, as a quiet walk of
//    the saved file.
// Inputs whose last byte is odd are made plain first (plain_document.h), so that most runs
// take the walk in memory.
#include <tinyxml.h>

#include "config/buffered_print_document.h"
#include "config/config_document.h"
#include "config/nesting_depth.h"
#include "config/parse_config.h"
#include "fuzz_support.h"
#include "util/path_check.h"

namespace config = corvel::config;
using corvel::fuzz::Walk;

namespace {

const char kBom[] = "\xEF\xBB\xBF";

// Replaces what keeps a text from being plain: "&" and control characters but tab and line
// feed by blanks, every byte from 0x80 up when the text is not UTF-8, and "?" after a "<"
// anywhere but at the first node (after nothing but a byte order mark and blanks).
std::string MadePlain(std::string text) {
  const bool utf8 = corvel::util::IsWellFormedUtf8(text);
  for (char& c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '&' || (byte < 0x20 && c != '\t' && c != '\n')) c = ' ';
    if (byte >= 0x80 && !utf8) c = '_';
  }
  const size_t first = text.find_first_not_of(" \t\n", text.compare(0, 3, kBom) == 0 ? 3 : 0);
  for (size_t at = text.find("<?"); at != std::string::npos; at = text.find("<?", at + 1)) {
    if (at != first) text[at + 1] = '!';
  }
  return text;
}

std::string Printed(auto print) {
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  std::string code = std::string(in.ConsumeRandomLengthString(48).c_str());
  const bool plain = (in.ConsumeIntegral<uint8_t>() & 1) != 0;
  std::string document = in.ConsumeRemainingBytesAsString();
  for (std::string* text : {&document, &code}) *text = plain ? MadePlain(*text) : *text;

  // The document as the rewrite parses it, with the code set as the rewrite sets it: its save
  // against the library's.
  std::string text = document;
  config::PrepareDocumentText(text);
  if (config::NestingDepth(text.c_str(), config::kNestingLimit) <= config::kNestingLimit) {
    config::BufferedPrintDocument parsed;
    parsed.Parse(text.c_str(), nullptr, TIXML_DEFAULT_ENCODING);
    TiXmlNode* payload =
        parsed.RootElement() ? parsed.RootElement()->FirstChild("Payload") : nullptr;
    if (payload && payload->ToElement()) payload->ToElement()->SetAttribute("corvelCode", code);
    const std::string expected = (text.compare(0, 3, kBom) == 0 ? kBom : "") +
                                 Printed([&](FILE* out) { parsed.TiXmlDocument::Print(out, 0); });
    const std::string saved = Printed([&](FILE* out) { parsed.SaveFile(out); });
    FUZZ_CHECK(saved == expected, "the save differs from the library's:\n" + saved);
  }

  const std::string path = corvel::fuzz::Scratch().Path("application.xml");
  corvel::fuzz::WriteWholeFile(path, document);
  config::RewrittenDocument kept;
  if (config::SetConfigurationPayloadCode(path.c_str(), code.c_str(), &kept) != 0) return 0;
  Walk walked, reread;
  const int walkedResult =
      config::WalkRewrittenConfiguration(path.c_str(), kept, corvel::fuzz::Collect, &walked);
  const int rereadResult = config::parseconfig(path.c_str(), corvel::fuzz::Collect, &reread, 1);
  FUZZ_CHECK(walkedResult == rereadResult, "the walks after the rewrite end differently");
  FUZZ_CHECK(walked.entries == reread.entries,
             "the walks after the rewrite hand over other entries");
  return 0;
}
