#include "prefs/xml_parser.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "platform/platform.h"
#include "prefs/prefs_log.h"
#include "util/utf_convert.h"

namespace corvel::prefs {

namespace platform = corvel::platform;

namespace {

constexpr const char* kCategory = "XMLParser";

// XML 1.0 (fifth edition) name characters, colon excluded.
bool IsNameStartCode(char32_t c) {
  return (c >= 'A' && c <= 'Z') || c == '_' || (c >= 'a' && c <= 'z') || (c >= 0xC0 && c <= 0xD6) ||
         (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) || (c >= 0x370 && c <= 0x37D) ||
         (c >= 0x37F && c <= 0x1FFF) || (c >= 0x200C && c <= 0x200D) ||
         (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) ||
         (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
         (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool IsNameCode(char32_t c) {
  return IsNameStartCode(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
         (c >= 0x300 && c <= 0x36F) || (c >= 0x203F && c <= 0x2040);
}

// Collects the text of every text and CDATA node below `node`, in document order. A loop,
// not recursion: a file may nest elements to any depth.
void CollectText(const pugi::xml_node& node, std::string* out) {
  pugi::xml_node current = node.first_child();
  while (current) {
    if (current.type() == pugi::node_pcdata || current.type() == pugi::node_cdata) {
      out->append(current.value());
    } else if (current.type() == pugi::node_element && current.first_child()) {
      current = current.first_child();
      continue;
    }
    while (!current.next_sibling()) {
      current = current.parent();
      if (current == node) return;
    }
    current = current.next_sibling();
  }
}

// Removes everything below `node`, leaves first: the DOM's own removal of an element recurses
// once per level of nesting below it.
void RemoveChildren(pugi::xml_node node) {
  pugi::xml_node current = node;
  while (node.first_child()) {
    while (current.first_child()) current = current.first_child();
    pugi::xml_node parent = current.parent();
    parent.remove_child(current);
    current = parent;
  }
}

std::string Trimmed(const std::string& text) {
  const char* k_space = " \t\r\n";
  size_t first = text.find_first_not_of(k_space);
  if (first == std::string::npos) return std::string();
  size_t last = text.find_last_not_of(k_space);
  return text.substr(first, last - first + 1);
}

class StringWriter : public pugi::xml_writer {
 public:
  void write(const void* data, size_t size) override {
    mText.append(static_cast<const char*>(data), size);
  }
  const std::string& text() const { return mText; }

 private:
  std::string mText;
};

// The whole file at `path`; on failure the status the DOM's file loader would give.
bool ReadWholeFile(const std::string& path, std::string* text, pugi::xml_parse_status* status) {
  std::unique_ptr<FILE, platform::FileCloser> stream(platform::OpenFile(path, "rb"));
  if (!stream) {
    *status = pugi::status_file_not_found;
    return false;
  }
  char chunk[16384];
  size_t count;
  while ((count = fread(chunk, 1, sizeof chunk, stream.get())) > 0) text->append(chunk, count);
  if (ferror(stream.get())) {
    *status = pugi::status_io_error;
    return false;
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Removes the new files of saves into `folder` that were killed before their rename.
void RemoveSaveLeftovers(const std::string& folder) {
  const size_t prefix_length = std::strlen(kSaveTempPrefix);
  for (const std::string& name : platform::FolderEntryNames(folder)) {
    if (name.size() == prefix_length + 6 && name.compare(0, prefix_length, kSaveTempPrefix) == 0) {
      platform::RemoveAbandonedFile(folder + "/" + name);
    }
  }
}

// Puts `text` at `path` so that the file there is the old one or the whole new one, on disk,
// even if the process dies: a new file beside it (locked while it is written, so that another
// save does not take it for a leftover), flushed, then renamed over it.
bool ReplaceFile(const std::string& path, const std::string& text) {
  const std::string folder = FolderOf(path);
  RemoveSaveLeftovers(folder);
  std::string temp_path = folder + "/" + kSaveTempPrefix + "XXXXXX";
  platform::UniqueFd fd(platform::MakeTempFile(temp_path));
  if (!fd.valid()) return false;
  if (!platform::TryLockFd(fd.get()) || platform::ChangeModeFd(fd.get(), 0600) != 0 ||
      platform::WriteAllFd(fd.get(), text.data(), text.size()) != 0 ||
      platform::SyncFd(fd.get()) != 0 || platform::RenamePath(temp_path, path) != 0) {
    platform::RemoveFile(temp_path);
    return false;
  }
  platform::SyncFolder(folder);  // the rename itself; the file is in place either way
  return true;
}

}  // namespace

bool IsValidXmlName(const std::string& name) {
  if (name.empty()) return false;
  std::u16string wide;
  try {
    wide = util::ConvertUtf8ToUtf16(name, false);
  } catch (const std::exception&) {
    return false;  // ill-formed UTF-8 names nothing
  }
  bool first = true;
  for (size_t i = 0; i < wide.size(); ++i) {
    char32_t code = wide[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < wide.size()) {
      code = 0x10000 + ((code - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    }
    if (first ? !IsNameStartCode(code) : !IsNameCode(code)) return false;
    first = false;
  }
  return true;
}

XMLParser::XMLParser() = default;
XMLParser::~XMLParser() = default;

bool XMLParser::MakeDocument() {
  try {
    mDocument = std::make_unique<pugi::xml_document>();
    return true;
  } catch (const std::bad_alloc&) {
    PrefsError(kCategory, "Failed in MSXML create instance error:%d",
               platform::ErrorCode(platform::Error::NoMemory));
    mDocument.reset();
    return false;
  }
}

bool XMLParser::initWithXMLPath(const std::string& path) {
  try {
    if (!MakeDocument()) return false;
    // Read through the platform layer rather than the DOM's own file loader, so that the
    // descriptor is close-on-exec like every other one the library opens.
    pugi::xml_parse_result result;
    std::string text;
    if (ReadWholeFile(path, &text, &result.status)) {
      result = mDocument->load_buffer(text.data(), text.size(), pugi::parse_default);
    }
    if (!result || !mDocument->document_element()) {
      PrefsError(kCategory, "initWithXMLPath... load failed: %s at offset %lld",
                 result.description(), static_cast<long long>(result.offset));
      mDocument.reset();
      return false;
    }
    return true;
  } catch (const std::exception&) {
    PrefsError(kCategory, "Caught exception in ... initWithXMLPath. error:%d",
               platform::LastErrorCode());
  }
  mDocument.reset();
  return false;
}

bool XMLParser::initWithXMLString(const std::string& text) {
  try {
    if (!MakeDocument()) return false;
    pugi::xml_parse_result result =
        mDocument->load_buffer(text.data(), text.size(), pugi::parse_default);
    if (!result || !mDocument->document_element()) {
      PrefsError(kCategory, "initWithXMLString... load failed: %s at offset %lld",
                 result.description(), static_cast<long long>(result.offset));
      mDocument.reset();
      return false;
    }
    return true;
  } catch (const std::exception&) {
    PrefsError(kCategory, "Caught exception in ... initWithXMLString. error:%d",
               platform::LastErrorCode());
  }
  mDocument.reset();
  return false;
}

bool XMLParser::nodeExistsXQuery(const std::string& xpath) {
  if (!loaded()) return false;
  try {
    return static_cast<bool>(mDocument->select_node(xpath.c_str()));
  } catch (const std::exception&) {
    PrefsError(kCategory, "Caught exception in ... nodeExistsXQuery. error:%d",
               platform::LastErrorCode());
  }
  return false;
}

bool XMLParser::stringValueForXQuery(const std::string& xpath, std::string* value) {
  if (!loaded()) {
    PrefsError(kCategory, "stringValueForXQuery ... XMLParser not Initialized ...");
    return false;
  }
  try {
    pugi::xpath_node found = mDocument->select_node(xpath.c_str());
    if (!found) return false;
    std::string text;
    if (found.node())
      CollectText(found.node(), &text);
    else
      text = found.attribute().value();
    *value = Trimmed(text);
    return true;
  } catch (const std::exception&) {
    PrefsError(kCategory, "Caught exception in ... stringValueForXQuery. error:%d",
               platform::LastErrorCode());
  }
  return false;
}

pugi::xml_node XMLParser::getNodeForXQuery(const std::string& xpath) {
  if (!loaded()) {
    PrefsError(kCategory, "getNodeForXQuery ... XMLParser not Initialized ...");
    return pugi::xml_node();
  }
  try {
    return mDocument->select_node(xpath.c_str()).node();
  } catch (const std::exception&) {
    PrefsError(kCategory, "Caught exception in ... getNodeForXQuery. error:%d",
               platform::LastErrorCode());
  }
  return pugi::xml_node();
}

pugi::xml_node XMLParser::getRootNode() {
  if (!loaded()) {
    PrefsError(kCategory, "getRootNode ... XMLParser not Initialized ...");
    return pugi::xml_node();
  }
  return mDocument->document_element();
}

pugi::xml_node XMLParser::addChildToNode(pugi::xml_node node, const std::string& name,
                                         const std::string* value) {
  if (!loaded()) {
    PrefsError(kCategory, "addChildToNode ... XMLParser not Initialized ...");
    return pugi::xml_node();
  }
  if (!node) {
    PrefsError(kCategory, "addChildToNode ... node is null!");
    return pugi::xml_node();
  }
  if (!IsValidXmlName(name)) {
    PrefsError(kCategory, "addChildToNode ... invalid element name :%s", name.c_str());
    return pugi::xml_node();
  }
  try {
    pugi::xml_node child = node.append_child(name.c_str());
    if (!child) {
      PrefsError(kCategory, "Caught exception in ... addChildToNode. error:%d",
                 platform::ErrorCode(platform::Error::Invalid));
      return pugi::xml_node();
    }
    if (value && !value->empty() &&
        !child.append_child(pugi::node_pcdata).set_value(value->c_str())) {
      node.remove_child(child);
      PrefsError(kCategory, "Caught exception in ... addChildToNode. error:%d",
                 platform::ErrorCode(platform::Error::NoMemory));
      return pugi::xml_node();
    }
    return child;
  } catch (const std::exception&) {
    PrefsError(kCategory, "Caught exception in ... addChildToNode. error:%d",
               platform::LastErrorCode());
  }
  return pugi::xml_node();
}

bool XMLParser::setValueForXQuery(const std::string& xpath, const std::string& value) {
  if (!loaded()) {
    PrefsError(kCategory, "setValueForXQuery... XMLParser not Initialized ...:%d", -1);
    return false;
  }
  try {
    pugi::xpath_node found = mDocument->select_node(xpath.c_str());
    if (!found) {
      PrefsError(kCategory, "setValueForXQuery... Node does not exists");
      return false;
    }
    pugi::xml_node node = found.node();
    if (!node || node.type() != pugi::node_element) {
      PrefsError(kCategory, "setValueForXQuery... failed in getting node pointer");
      return false;
    }
    RemoveChildren(node);
    if (!value.empty() && !node.append_child(pugi::node_pcdata).set_value(value.c_str())) {
      PrefsError(kCategory, "Caught exception in ... setValueForXQuery. error:%d",
                 platform::ErrorCode(platform::Error::NoMemory));
      return false;
    }
    return true;
  } catch (const std::exception&) {
    PrefsError(kCategory, "Caught exception in ... setValueForXQuery. error:%d",
               platform::LastErrorCode());
  }
  return false;
}

bool XMLParser::writeToFile(const std::string& path) {
  if (!loaded() || path.empty()) {
    PrefsError(kCategory, "Failed to write XML to file");
    return false;
  }
  try {
    // Without indentation: an indented layout grows with the square of the nesting depth.
    StringWriter writer;
    mDocument->save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    if (!ReplaceFile(path, writer.text())) {
      PrefsError(kCategory, "Failed to write XML to file");
      return false;
    }
    return true;
  } catch (const std::exception&) {
    PrefsError(kCategory, "Caught exception while writing xml data to a file at path :%s",
               path.c_str());
  }
  return false;
}

}  // namespace corvel::prefs
