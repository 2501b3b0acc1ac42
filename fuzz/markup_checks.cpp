#include "markup_checks.h"

namespace corvel::fuzz {

using markup::CMarkupSTL;
using markup::ElementIndex;

bool ElementsInOrder(const CMarkupSTL& doc, std::vector<Placed>* out) {
  out->clear();
  const ElementIndex& index = doc.GetIndex();
  if (!index.exists()) return true;
  int depth = 0;
  int32_t at = index[0].firstChild;
  while (at) {
    if (at < 0 || at >= doc.GetFreePos() || out->size() > static_cast<size_t>(doc.GetFreePos())) {
      return false;
    }
    out->push_back({index[at], depth});
    if (index[at].firstChild) {
      at = index[at].firstChild;
      ++depth;
      continue;
    }
    while (at && !index[at].nextSibling) {
      at = index[at].parent;
      --depth;
    }
    if (at) at = index[at].nextSibling;
  }
  return true;
}

std::string TagNameAt(const std::string& text, int32_t at) {
  static const std::string kSpace = " \t\r\n";
  static const std::string kDelimiters = " \t\r\n<>=\\/?!";
  size_t left = static_cast<size_t>(at) + 1;
  while (left < text.size() && kSpace.find(text[left]) != std::string::npos) ++left;
  if (left >= text.size()) return "";
  if (kDelimiters.find(text[left]) != std::string::npos) return text.substr(left, 1);
  size_t right = left;
  while (right < text.size() && kDelimiters.find(text[right]) == std::string::npos) ++right;
  return text.substr(left, right - left);
}

bool TagsRoundTrip(const CMarkupSTL& doc) {
  std::vector<Placed> elements;
  if (!ElementsInOrder(doc, &elements)) return false;
  const std::string& text = doc.GetDoc();
  for (const Placed& p : elements) {
    const std::string name = TagNameAt(text, p.entry.startLeft);
    if (name == ">" || name == "<") return false;
    const bool empty = p.entry.startRight == p.entry.endLeft + 1;
    if (empty && p.entry.endLeft > 0 && text[p.entry.endLeft - 1] == '/') return false;
  }
  return true;
}

}  // namespace corvel::fuzz
