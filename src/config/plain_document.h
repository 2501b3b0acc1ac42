// When the rewrite of a configuration document may be walked where it already is, in memory,
// instead of being read back from the file it was saved to.
//
// The XML library's save does not always read back as what was saved: it drops a bare "&"
// when it reads text (leaving the blanks around it to fold on the next read), writes the
// values of a declaration between double quotes without escaping them, and in a UTF-8
// document reads a broken sequence together with the markup after it. A plain document avoids
// all of these. Everything else it saves escapes what would be read as markup and is read back
// as it was: the same nodes, names, attributes and texts (texts were folded on the first read
// already, and folding folded text changes nothing), so both documents walk alike.
#pragma once

#include <cstddef>

class TiXmlDocument;

namespace corvel::config {

// True when `text` (`size` bytes, as the XML library parses it: line ends made LF) is plain:
//  - well-formed UTF-8;
//  - no "&" at all: no bare "&", and every value is the text itself;
//  - no control character but tab and line feed;
//  - no "<?" except, once, as the first bytes after an optional byte order mark and blanks
//    (so the only declaration the document can hold is its first node).
bool IsPlainDocumentText(const char* text, size_t size);

// True when a Payload code is plain: well-formed UTF-8 without "&" or control characters but
// tab and line feed.
bool IsPlainCode(const char* code);

// True when `document`, parsed from a plain text, is saved in a layout that reads back into the
// same document: its declaration, if any, holds no '"' in a value (the save writes them between
// double quotes, unescaped).
bool SavesAsParsed(const TiXmlDocument& document);

}  // namespace corvel::config
