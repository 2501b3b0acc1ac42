// The file form of a tag document. A file of more than 2 bytes that begins with FF FE is
// UTF-16LE after the mark and is written back the same way; any other file is UTF-8 bytes as
// they are, written back without a mark. These are the markup engine's own file rules; the
// tag writer applies them itself so that the file is opened without following links.
#pragma once

#include <string>

#include "markup/markup_document.h"

namespace corvel::swtag {

// Reads the regular file at `path` (never through a link) into `document` and reports its
// form through `unicode`. True when the file was read and its document is well-formed; when
// it cannot be read the document and `unicode` stay as they were.
bool LoadTagFile(const std::string& path, markup::CMarkupSTL& document, bool* unicode);

// The bytes that store `document` in the given form.
std::string TagFileBytes(const markup::CMarkupSTL& document, bool unicode);

}  // namespace corvel::swtag
