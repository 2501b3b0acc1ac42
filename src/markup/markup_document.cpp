// Construction and replacement of a markup document.
#include "markup/markup_document.h"

namespace corvel::markup {

CMarkupSTL::CMarkupSTL() { ParseDocument(); }

CMarkupSTL::~CMarkupSTL() = default;

bool CMarkupSTL::SetDocument(const char* text) {
  if (text) {
    mDocument = text;
  } else {
    mDocument.clear();
  }
  mError.clear();
  return ParseDocument();
}

bool CMarkupSTL::IsWellFormed() const { return mIndex.exists() && mIndex[0].firstChild != 0; }

}  // namespace corvel::markup
