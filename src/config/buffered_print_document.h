// A configuration document that saves itself faster, in exactly the same bytes.
#pragma once

#include <tinyxml.h>

#include <cstdio>

namespace corvel::config {

// A TiXmlDocument whose Print writes the XML library's standard layout, byte for byte as
// TiXmlDocument::Print does, through one buffer instead of a formatted write per piece:
// elements, attributes and texts are laid out here; declarations, comments, unknown nodes and
// CDATA sections, which are rare, are printed by the library itself. SaveFile (which writes the
// byte order mark the document was read with, then calls Print) saves it.
class BufferedPrintDocument : public TiXmlDocument {
 public:
  using TiXmlDocument::Print;
  void Print(FILE* file, int depth) const override;
};

}  // namespace corvel::config
