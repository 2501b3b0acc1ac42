// XMLParser: the small DOM wrapper the preferences store reads and writes its file with.
// pugixml holds the document and evaluates the XPath queries. Every operation logs its
// failures to the preferences log under the category "XMLParser" and never throws.
#pragma once

#include <pugixml.hpp>

#include <memory>
#include <string>

namespace corvel::prefs {

// A save writes its new file beside the document under this prefix and six more characters.
inline constexpr const char* kSaveTempPrefix = ".tavprefs-";

// Whether `name` can be an element name that an XPath step addresses verbatim: an XML name
// without a colon (a namespace-free name). Checked on the UTF-8 text.
bool IsValidXmlName(const std::string& name);

class XMLParser {
 public:
  XMLParser();
  ~XMLParser();
  XMLParser(const XMLParser&) = delete;
  XMLParser& operator=(const XMLParser&) = delete;

  // Loads the document from a file; true only when the file parses as XML with a root
  // element.
  bool initWithXMLPath(const std::string& path);
  // Loads the document from text.
  bool initWithXMLString(const std::string& text);

  // Whether the XPath selects a node.
  bool nodeExistsXQuery(const std::string& xpath);
  // The text of the node the XPath selects (all its text content, outer white space trimmed).
  bool stringValueForXQuery(const std::string& xpath, std::string* value);
  // The node the XPath selects; an empty node when none.
  pugi::xml_node getNodeForXQuery(const std::string& xpath);
  // The document element; an empty node when none.
  pugi::xml_node getRootNode();
  // Appends an element named `name` to `node`, with `value` as its text when given and not
  // empty. The new node, or an empty node on failure (an invalid name included).
  pugi::xml_node addChildToNode(pugi::xml_node node, const std::string& name,
                                const std::string* value);
  // Replaces the text of the element the XPath selects.
  bool setValueForXQuery(const std::string& xpath, const std::string& value);

  // Saves the document, without indentation: written to a new file (mode 0600) beside
  // `path`, flushed to disk, then renamed over it, so the file at `path` is either the old one
  // or the whole new one. New files that killed saves left in that folder are removed first.
  bool writeToFile(const std::string& path);

 private:
  bool loaded() const { return mDocument != nullptr; }
  bool MakeDocument();

  std::unique_ptr<pugi::xml_document> mDocument;
};

}  // namespace corvel::prefs
