// Helpers of the tag writer tests: a scratch environment, the tag directory and file names,
// one complete tagging pass, and reading tags back through libxml2 (xmllint).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "test_support.h"

namespace corvel::swtag::test {

// The values a typical pass sets, by field id.
std::map<uint32_t, std::string> TypicalFields();

// A scratch folder with the folder variables pointing into it, and the tag writer's places.
class TagScratch {
 public:
  TagScratch() = default;
  std::string TagDir() const;
  // The tag file for a product code and locale (empty locale: the locale-less name).
  std::string TagFile(const std::string& code, const std::string& locale = "") const;
  std::string LogPath() const;
  std::string ReadLog() const;
  corvel::test::ScratchFolder& scratch() { return mScratch; }
  const corvel::test::ScratchFolder& scratch() const { return mScratch; }

 private:
  corvel::test::ScratchFolder mScratch;
};

// SwTagStart, the fields, SwTagWrite, SwTagEnd; the result of SwTagStart.
uint16_t RunPass(const std::string& name, const std::string& code, const std::string& locale,
                 const std::map<uint32_t, std::string>& fields);

// The text of the element reached from the root by the local names in `path`, every step in
// the ISO/IEC 19770-2:2008 namespace, as libxml2 reads it (namespace-aware XPath); nullopt
// when xmllint rejects the file or finds no such element.
std::optional<std::string> XPathText(const std::string& file, const std::vector<std::string>& path);

// Whether libxml2 parses the file as well-formed, namespace-correct XML.
bool XmlLintAccepts(const std::string& file);

// Number of times `needle` occurs in `text`.
size_t CountOf(const std::string& text, const std::string& needle);

// The file's modification time in nanoseconds, or -1.
long long ModificationTime(const std::string& path);
// Sets the file's modification time to a fixed moment in the past.
bool AgeFile(const std::string& path);

}  // namespace corvel::swtag::test
