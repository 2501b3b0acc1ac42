// The scanner: tokens, token text and name matching, and the node recogniser.
#include "markup/markup_document.h"
#include "markup/markup_text.h"

namespace corvel::markup {

bool CMarkupSTL::FindToken(Token& token) const {
  const char* doc = mDocument.c_str();
  token.quoted = false;
  int32_t at = token.next;
  if (!text::SkipWhitespace(doc, at)) {
    token.left = token.right = token.next = at;
    return false;
  }
  const char first = doc[at];
  if (first == '"' || first == '\'') {
    token.left = at + 1;
    token.quoted = true;
    int32_t close = at + 1;
    const bool closed = text::FindChar(doc, close, first);
    token.right = close - 1;
    token.next = closed ? close + 1 : close;
    return true;
  }
  token.left = at;
  if (text::IsDelimiter(first)) {
    token.right = at;
    token.next = at + 1;
    return true;
  }
  int32_t end = at + 1;
  while (doc[end] != '\0' && !text::IsDelimiter(doc[end])) ++end;
  token.right = end - 1;
  token.next = end;
  return true;
}

std::string CMarkupSTL::TokenText(const Token& token) const {
  if (token.left > token.right) return std::string();
  const int32_t size = static_cast<int32_t>(mDocument.size());
  int32_t count = token.right - token.left + 1;
  if (token.right >= size) count = size - token.left;
  if (count <= 0) return std::string();
  return mDocument.substr(static_cast<size_t>(token.left), static_cast<size_t>(count));
}

bool CMarkupSTL::TokenMatches(const Token& token, const char* name) const {
  return name && TokenMatches(token, name, std::strlen(name));
}

bool CMarkupSTL::TokenMatches(const Token& token, const char* name, size_t nameLength) const {
  if (token.left > token.right) return false;
  const size_t length = static_cast<size_t>(token.right - token.left + 1);
  if (nameLength < length) return false;
  if (std::memcmp(name, mDocument.c_str() + token.left, length) != 0) return false;
  if (nameLength == length) return true;
  const char after = name[length];
  return after == ' ' || after == '=' || after == '/' || after == '[';
}

int32_t CMarkupSTL::RecogniseNode(Token& token, int32_t offset) const {
  const char* doc = mDocument.c_str();
  token.left = offset;
  if (doc[offset] != '<') {
    if (doc[offset] == '\0') return kNodeInvalid;
    int32_t at = offset;
    if (text::SkipWhitespace(doc, at) && doc[at] != '<') {
      text::FindChar(doc, at, '<');
      token.right = at - 1;
      token.next = at;
      return kNodeText;
    }
    token.right = at - 1;
    token.next = at;
    return kNodeWhitespace;
  }

  const char second = doc[offset + 1];
  if (second == '\0' || doc[offset + 2] == '\0') return kNodeInvalid;

  const char* terminator = nullptr;
  int32_t kind = kNodeInvalid;
  if (second == '?') {
    kind = kNodeProcessingInstruction;
    terminator = "?>";
  } else if (second == '!') {
    const char third = doc[offset + 2];
    if (third == '[') {
      kind = kNodeCData;
      terminator = "]]>";
    } else if (third == '-') {
      kind = kNodeComment;
      terminator = "-->";
    } else {
      // Document type declaration: ends at a '>' outside brackets and quoted strings.
      int32_t depth = 0;
      token.next = offset;
      while (FindToken(token)) {
        if (token.quoted) continue;
        const char c = doc[token.left];
        if (c == '[') {
          ++depth;
        } else if (c == ']') {
          --depth;
        } else if (depth == 0 && c == '>') {
          token.left = offset;
          return kNodeDocumentType;
        }
      }
      return kNodeInvalid;
    }
  } else if (second == '/') {
    return kNodeInvalid;
  } else {
    return kNodeElement;
  }

  const int32_t found = text::FindText(doc, offset, terminator);
  if (found < 0) return kNodeInvalid;
  token.right = found + static_cast<int32_t>(std::strlen(terminator)) - 1;
  token.next = token.right + 1;
  return kind;
}

}  // namespace corvel::markup
