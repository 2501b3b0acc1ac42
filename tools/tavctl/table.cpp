#include "table.h"

#include <algorithm>
#include <cstdio>

namespace tavctl {

namespace {

// Display width in characters: UTF-8 continuation bytes take no column.
size_t DisplayWidth(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  }));
}

}  // namespace

std::string EscapeControls(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

TextTable::TextTable(std::vector<std::string> header) { mRows.push_back(std::move(header)); }

void TextTable::AddRow(std::vector<std::string> cells) {
  for (std::string& cell : cells) cell = EscapeControls(cell);
  cells.resize(mRows.front().size());
  mRows.push_back(std::move(cells));
}

std::string TextTable::Render() const {
  const size_t columns = mRows.front().size();
  std::vector<size_t> widths(columns, 0);
  for (const auto& row : mRows) {
    for (size_t i = 0; i < columns; ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
  }
  std::string out;
  for (const auto& row : mRows) {
    std::string line;
    for (size_t i = 0; i < columns; ++i) {
      line += row[i];
      if (i + 1 < columns) line += std::string(widths[i] - DisplayWidth(row[i]) + 2, ' ');
    }
    out += line + "\n";
  }
  return out;
}

}  // namespace tavctl
