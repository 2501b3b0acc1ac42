// The walk over a configuration document: validation, then the Payload hive, then every
// Other hive in document order.
#include "config/parse_config.h"

#include <tinyxml.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "config/config_document.h"
#include "platform/platform.h"

namespace corvel::config {

namespace {

// Messages of the walk; nothing is printed in quiet mode.
class Diagnostics {
 public:
  explicit Diagnostics(bool quiet) : mQuiet(quiet) {}

  void Print(const char* format, ...) const __attribute__((format(printf, 2, 3))) {
    if (mQuiet) return;
    va_list args;
    va_start(args, format);
    vfprintf(stderr, format, args);
    va_end(args);
  }

  bool quiet() const { return mQuiet; }

 private:
  bool mQuiet;
};

enum class HiveResult { Read, Stopped, Failed };

// One entry as the handler receives it.
struct ConfigurationEntry {
  const char* key;
  const char* value;
  int is_protected;
};

// Reads hives and hands their entries over.
class HiveReader {
 public:
  HiveReader(ConfigurationEntryHandler handler, void* context, const Diagnostics& diagnostics)
      : mHandler(handler), mContext(context), mDiagnostics(diagnostics) {}

  HiveResult Read(const TiXmlNode& hive) const {
    const TiXmlElement* element = hive.ToElement();
    if (element == nullptr) return NotAnElement(hive);
    const char* code = HiveCode(*element);
    for (const TiXmlNode* data = element->FirstChild("Data"); data != nullptr;
         data = data->NextSibling("Data")) {
      HiveResult result = ReadData(*data, code);
      if (result != HiveResult::Read) return result;
    }
    return HiveResult::Read;
  }

 private:
  static const char* HiveCode(const TiXmlElement& hive) {
    const char* code = hive.Attribute("corvelCode");
    return code != nullptr ? code : hive.Attribute("defaultCorvelCode");
  }

  HiveResult NotAnElement(const TiXmlNode& node) const {
    mDiagnostics.Print("parseconfig: Parse error on line %d: Not an element: %s\n", node.Row(),
                       node.Value());
    return HiveResult::Failed;
  }

  HiveResult ReadData(const TiXmlNode& node, const char* code) const {
    const TiXmlElement* data = node.ToElement();
    if (data == nullptr) return NotAnElement(node);
    const char* key = data->Attribute("key");
    if (key == nullptr) {
      mDiagnostics.Print("parseconfig: Parse error on line %d: No attribute %s\n", data->Row(),
                         "key");
      return HiveResult::Failed;
    }
    const char* protection = data->Attribute("protected");
    const char* text = data->GetText();
    ConfigurationEntry entry{key, text != nullptr ? text : "",
                             (protection != nullptr && std::strcmp(protection, "0") == 0) ? 0 : 1};
    if (std::strcmp(key, "LicensingCode") == 0) {
      HiveResult reverse = HandOverReverseEntry(*data, code, entry);
      if (reverse != HiveResult::Read) return reverse;
    }
    return HandOver(code, entry.key, entry.value, entry.is_protected);
  }

  // The licensing product's subdomain learns which payload it belongs to: key "PayloadCode"
  // under the licensing code, with the hive's code as its value.
  HiveResult HandOverReverseEntry(const TiXmlElement& data, const char* code,
                                  const ConfigurationEntry& entry) const {
    char subdomain[kReverseSubdomainBufferSize];
    size_t length = std::strlen(entry.value);
    if (length >= sizeof subdomain) {
      mDiagnostics.Print("parseconfig: Parse error on line %d: Value of %s longer than %zu bytes\n",
                         data.Row(), entry.key, sizeof subdomain - 1);
      return HiveResult::Failed;
    }
    std::memcpy(subdomain, entry.value, length + 1);
    return HandOver(subdomain, "PayloadCode", code, entry.is_protected);
  }

  HiveResult HandOver(const char* subdomain, const char* key, const char* value,
                      int is_protected) const {
    if (mHandler == nullptr) return HiveResult::Read;
    return mHandler(mContext, subdomain, key, value, is_protected) == 0 ? HiveResult::Read
                                                                        : HiveResult::Stopped;
  }

  ConfigurationEntryHandler mHandler;
  void* mContext;
  const Diagnostics& mDiagnostics;
};

// The root must be "Configuration" and, unless quiet, hold at most one node named "Payload".
bool ValidateDocument(const TiXmlDocument& document, const Diagnostics& diagnostics) {
  bool valid = true;
  if (ConfigurationRoot(document) == nullptr) {
    diagnostics.Print("parseconfig: Not an ZEP Configuration document\n");
    valid = false;
  }
  const TiXmlElement* root = document.RootElement();
  if (root == nullptr) return valid;
  const TiXmlNode* payload = root->FirstChild("Payload");
  if (payload != nullptr && payload->NextSibling("Payload") != nullptr && !diagnostics.quiet()) {
    diagnostics.Print("parseconfig: Multiple Payload elements found\n");
    valid = false;
  }
  return valid;
}

int WalkHives(const TiXmlElement& root, const HiveReader& reader) {
  if (const TiXmlNode* payload = root.FirstChild("Payload")) {
    HiveResult result = reader.Read(*payload);
    if (result == HiveResult::Failed) return -1;
    if (result == HiveResult::Stopped) return 0;
  }
  for (const TiXmlNode* other = root.FirstChild("Other"); other != nullptr;
       other = other->NextSibling("Other")) {
    HiveResult result = reader.Read(*other);
    if (result == HiveResult::Failed) return -1;
    if (result == HiveResult::Stopped) return 0;
  }
  return 0;
}

// Validates a loaded document and walks its hives.
int WalkDocument(const TiXmlDocument& document, ConfigurationEntryHandler handler, void* context,
                 const Diagnostics& diagnostics) {
  if (!ValidateDocument(document, diagnostics)) return -1;
  return WalkHives(*document.RootElement(), HiveReader(handler, context, diagnostics));
}

}  // namespace

int WalkConfigurationStream(FILE* stream, ConfigurationEntryHandler handler, void* context,
                            int quiet) {
  Diagnostics diagnostics(quiet != 0);
  TiXmlDocument document;
  // Rows appear only in messages.
  if (diagnostics.quiet()) SkipRowTracking(document);
  if (!LoadConfigurationDocument(stream, document)) {
    diagnostics.Print("parseconfig: can't load input file: %s\n", document.ErrorDesc());
    return -1;
  }
  return WalkDocument(document, handler, context, diagnostics);
}

int WalkRewrittenConfiguration(const char* path, const RewrittenDocument& kept,
                               ConfigurationEntryHandler handler, void* context) {
  if (!kept.kept()) return parseconfig(path, handler, context, 1);
  return WalkDocument(*kept.mDocument, handler, context, Diagnostics(true));
}

int parseconfig(const char* path, ConfigurationEntryHandler handler, void* context, int quiet) {
  ConfigurationInput input(path);
  if (input.stream() == nullptr) {
    int error = platform::LastErrorCode();
    Diagnostics(quiet != 0)
        .Print("%s: %s\n", path != nullptr ? path : "(null)",
               platform::ErrorMessage(error).c_str());
    return -1;
  }
  return WalkConfigurationStream(input.stream(), handler, context, quiet);
}

}  // namespace corvel::config
