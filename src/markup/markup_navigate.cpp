// Path search, cursor moves and reading of tag names and content.
#include <cstdlib>

#include "markup/markup_document.h"
#include "markup/markup_text.h"

namespace corvel::markup {

int32_t CMarkupSTL::FindIn(int32_t parent, int32_t after, const char* path) const {
  int32_t candidate;
  if (path && path[0] == '/') {
    candidate = mIndex[0].firstChild;
    ++path;
  } else if (after) {
    candidate = mIndex[after].nextSibling;
  } else {
    candidate = mIndex[parent].firstChild;
  }
  if (!path || !path[0]) return candidate;

  Token token;
  while (candidate) {
    token.next = mIndex[candidate].startLeft + 1;
    FindToken(token);
    if (path[0] == '*') {
      if (path[1] != '/') return candidate;
      path += 2;
      candidate = mIndex[candidate].firstChild;
    } else if (TokenMatches(token, path)) {
      const size_t matched = static_cast<size_t>(token.right - token.left + 1);
      if (path[matched] != '/') return candidate;
      path += matched + 1;
      candidate = mIndex[candidate].firstChild;
    } else {
      candidate = mIndex[candidate].nextSibling;
    }
  }
  return 0;
}

bool CMarkupSTL::FindElement(const char* name) {
  if (!mIndex.exists()) return false;
  const int32_t found = FindIn(mParentPos, mMainPos, name);
  if (!found) return false;
  mMainPos = found;
  mParentPos = mIndex[found].parent;
  mChildPos = 0;
  mMainKind = kNodeElement;
  return true;
}

bool CMarkupSTL::FindChildElement(const char* name) {
  if (!mIndex.exists()) return false;
  if (!mMainPos) FindElement();
  const int32_t found = FindIn(mMainPos, mChildPos, name);
  if (!found) return false;
  mChildPos = found;
  mMainPos = mIndex[found].parent;
  mParentPos = mIndex[mMainPos].parent;
  mMainKind = mMainPos ? kNodeElement : kNodeInvalid;
  return true;
}

bool CMarkupSTL::IntoElement() {
  if (!mMainPos || mMainKind != kNodeElement) return false;
  mParentPos = mMainPos;
  mMainPos = mChildPos;
  mChildPos = 0;
  mMainKind = mMainPos ? kNodeElement : kNodeInvalid;
  return true;
}

bool CMarkupSTL::OutOfElement() {
  if (!mParentPos) return false;
  mChildPos = mMainPos;
  mMainPos = mParentPos;
  mParentPos = mIndex[mMainPos].parent;
  mMainKind = kNodeElement;
  return true;
}

std::string CMarkupSTL::TagNameAt(int32_t element) const {
  Token token;
  token.next = mIndex[element].startLeft + 1;
  FindToken(token);
  return TokenText(token);
}

std::string CMarkupSTL::GetTagName() const {
  if (!mMainPos) return std::string();
  return TagNameAt(mMainPos);
}

std::string CMarkupSTL::GetData() const {
  if (!mMainPos) return std::string();
  const ElementEntry& entry = mIndex[mMainPos];
  if (entry.firstChild || entry.startRight == entry.endLeft + 1) return std::string();

  const char* doc = mDocument.c_str();
  int32_t content = entry.startRight + 1;
  if (text::SkipWhitespace(doc, content) && doc[content] == '<' && content + 11 < entry.endLeft &&
      std::strncmp(doc + content, "<![CDATA[", 9) == 0) {
    const int32_t begin = content + 9;
    const int32_t end = text::FindText(doc, begin, "]]>");
    if (end >= 0 && end < entry.endLeft) {
      return mDocument.substr(static_cast<size_t>(begin), static_cast<size_t>(end - begin));
    }
  }
  return DecodeText(entry.startRight + 1, entry.endLeft);
}

namespace {

// Appends the character `value` the way content references are written back: one byte up
// to 0x7F, two bytes below 0x800, otherwise three bytes from the low 16 bits.
void AppendCharacter(std::string& out, long value) {
  if (value <= 0x7F) {
    out.push_back(static_cast<char>(value));
  } else if (value < 0x800) {
    out.push_back(static_cast<char>(0xC0 | ((value >> 6) & 0x1F)));
    out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | ((value >> 12) & 0x0F)));
    out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
  }
}

struct NamedReference {
  const char* name;  // without the '&', with the ';'
  size_t length;
  char value;
};

constexpr NamedReference kNamedReferences[] = {
    {"lt;", 3, '<'}, {"amp;", 4, '&'}, {"gt;", 3, '>'}, {"apos;", 5, '\''}, {"quot;", 5, '"'},
};

// Longest reach of the ';' after "&#" or "&#x": at most seven digits before it.
constexpr int32_t kReferenceReach = 8;

}  // namespace

std::string CMarkupSTL::DecodeText(int32_t begin, int32_t end) const {
  std::string out;
  if (end <= begin) return out;
  out.reserve(static_cast<size_t>(end - begin));
  const char* doc = mDocument.c_str();
  int32_t at = begin;
  while (at < end) {
    const char c = doc[at];
    if (c != '&') {
      out.push_back(c);
      ++at;
      continue;
    }
    if (at + 1 < end && doc[at + 1] == '#') {
      int base = 10;
      int32_t digits = at + 2;
      if (digits < end && doc[digits] == 'x') {
        base = 16;
        ++digits;
      }
      int32_t semicolon = -1;
      for (int32_t i = digits; i < end && i < digits + kReferenceReach; ++i) {
        if (doc[i] == ';') {
          semicolon = i;
          break;
        }
      }
      if (semicolon >= 0) {
        AppendCharacter(out, std::strtol(doc + digits, nullptr, base));
        at = semicolon + 1;
        continue;
      }
    } else {
      bool replaced = false;
      for (const NamedReference& ref : kNamedReferences) {
        if (at + 1 + static_cast<int32_t>(ref.length) <= end &&
            std::strncmp(doc + at + 1, ref.name, ref.length) == 0) {
          out.push_back(ref.value);
          at += 1 + static_cast<int32_t>(ref.length);
          replaced = true;
          break;
        }
      }
      if (replaced) continue;
    }
    out.push_back('&');
    ++at;
  }
  return out;
}

}  // namespace corvel::markup
