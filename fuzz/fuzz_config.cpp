// The configuration document reader on arbitrary documents, in quiet mode, as the library
// always runs it. The input is written to a file in the scratch folder. Checked on every
// input:
//  - the walk hands over entries as Collect (fuzz_support.h) expects them;
//  - a walk without handler and one whose handler never stops give the same result, and a
//    handler that stops after n entries gets exactly n and a result of 0;
//  - a failed rewrite of the Payload hive's code leaves the file untouched, and a successful
//    one gives a document that walks like the original with the new code in place.
#include <sstream>

#include "config/config_document.h"
#include "config/parse_config.h"
#include "fuzz_support.h"
#include "util/path_check.h"

namespace config = corvel::config;
using corvel::fuzz::Entry;
using corvel::fuzz::Walk;

namespace {

int WalkFile(const std::string& path, Walk* walk) {
  return config::parseconfig(path.c_str(), walk ? corvel::fuzz::Collect : nullptr, walk, 1);
}

// The XML library folds runs of blanks when it reads text and trims them at the ends, so a
// text written back and read again may differ in its blanks alone; compare texts folded.
// An absent text stands for the key, folded again without change.
Entry Folded(Entry e) {
  for (std::string* text :
       {&e.key, e.subdomain ? &*e.subdomain : &e.key, e.value ? &*e.value : &e.key}) {
    std::istringstream words(*text);
    text->clear();
    for (std::string word; words >> word;) *text += (text->empty() ? "" : " ") + word;
  }
  return e;
}

// How many entries the Payload hive hands over: one per Data element, two for a
// "LicensingCode" one. Read from the document the same way the reader loads it.
size_t PayloadEntryCount(const std::string& path) {
  FILE* stream = config::OpenConfigurationFile(path.c_str(), "rb");
  FUZZ_CHECK(stream != nullptr, "the document cannot be reopened");
  TiXmlDocument document;
  const bool loaded = config::LoadConfigurationDocument(stream, document);
  fclose(stream);
  FUZZ_CHECK(loaded, "a document that walked does not load");
  const TiXmlNode* payload = config::ConfigurationRoot(document)->FirstChild("Payload");
  size_t count = 0;
  for (const TiXmlNode* data = payload ? payload->FirstChild("Data") : nullptr; data != nullptr;
       data = data->NextSibling("Data")) {
    const char* key = data->ToElement() ? data->ToElement()->Attribute("key") : nullptr;
    count += key != nullptr && std::strcmp(key, "LicensingCode") == 0 ? 2 : 1;
  }
  return count;
}

// Whether an "&" in `text` starts no reference of the form "&name;" or "&#digits;" (at most
// ten characters between "&" and ";").
bool HasBareAmpersand(const std::string& text) {
  for (size_t at = text.find('&'); at != std::string::npos; at = text.find('&', at + 1)) {
    const size_t end = text.find_first_not_of(
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789#", at + 1);
    if (end == at + 1 || end > at + 11 || end == std::string::npos || text[end] != ';') return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string code = std::string(in.ConsumeRandomLengthString(48).c_str());
  Walk full, stopped, again;
  stopped.stopAfter = in.ConsumeIntegralInRange<size_t>(1, 16);
  const std::string document = in.ConsumeRemainingBytesAsString();
  const std::string path = corvel::fuzz::Scratch().Path("application.xml");
  corvel::fuzz::WriteWholeFile(path, document);

  const int result = WalkFile(path, &full);
  FUZZ_CHECK(result == 0 || result == -1, "parseconfig result outside 0 and -1");
  FUZZ_CHECK(WalkFile(path, nullptr) == result, "a walk without handler ends differently");
  if (full.entries.size() >= stopped.stopAfter) {
    FUZZ_CHECK(WalkFile(path, &stopped) == 0, "a stopped walk did not succeed");
    FUZZ_CHECK(stopped.entries.size() == stopped.stopAfter,
               "a stopped walk handed over other entries");
  }

  const int rewritten = config::SetConfigurationPayloadCode(path.c_str(), code.c_str());
  FUZZ_CHECK(rewritten == 0 || rewritten == -1, "rewrite result other than 0 or -1 on a file");
  FUZZ_CHECK(rewritten == 0 || corvel::fuzz::ReadWholeFile(path) == document,
             "a failed rewrite changed the file");
  if (rewritten != 0) return 0;
  const int againResult = WalkFile(path, &again);
  // A rewrite of a document that failed somewhere promises nothing. The XML library reads a
  // byte that opens a UTF-8 sequence together with the bytes after it, whatever they are, so
  // a document or a code that is not UTF-8 (an "&" swallowed into a broken sequence, say) is
  // not read back as it was written. Nor is a document with an "&" that does not start a
  // reference ("&name;" or "&#digits;"): the library drops it and then folds the blanks that
  // stood around it. Only UTF-8 without such an "&" is compared.
  if (result != 0 || !corvel::util::IsWellFormedUtf8(document) ||
      !corvel::util::IsWellFormedUtf8(code) || HasBareAmpersand(document)) {
    return 0;
  }
  FUZZ_CHECK(againResult == 0, "the rewritten document no longer walks");
  // The entries of the rewritten document: those of the original with the Payload hive's code
  // replaced. The Payload hive's entries come first, up to the first entry of another hive.
  FUZZ_CHECK(full.entries.size() == again.entries.size(),
             "the rewritten document walks to another number of entries");
  const size_t payloadEntries = PayloadEntryCount(path);
  for (size_t i = 0; i < full.entries.size(); ++i) {
    Entry expected = full.entries[i];
    // The reverse entry of a "LicensingCode" entry comes right before it and carries the
    // code as its value; a Data element that is itself keyed "PayloadCode" is an ordinary one.
    const bool reverse = i + 1 < payloadEntries && full.entries[i + 1].key == "LicensingCode" &&
                         expected.key == "PayloadCode";
    if (i < payloadEntries) (reverse ? expected.value : expected.subdomain) = code;
    FUZZ_CHECK(Folded(again.entries[i]) == Folded(expected),
               "entry " + std::to_string(i) + " changed beyond the code in the rewrite");
  }
  return 0;
}
