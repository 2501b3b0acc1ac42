// A plain text table: columns padded to their widest cell, two blanks apart. Control
// characters in cells are shown escaped (\n, \t, \xHH) so one row stays on one line.
#pragma once

#include <string>
#include <vector>

namespace tavctl {

class TextTable {
 public:
  explicit TextTable(std::vector<std::string> header);
  void AddRow(std::vector<std::string> cells);
  std::string Render() const;

 private:
  std::vector<std::vector<std::string>> mRows;  // the header first
};

// The text with control characters escaped.
std::string EscapeControls(const std::string& text);

}  // namespace tavctl
