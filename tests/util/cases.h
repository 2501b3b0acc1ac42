// Tables of cases kept as data: one case a line, fields separated by '|' and written with C
// escapes ("\r", "\n", "\xHH"); empty lines and lines that start with '#' are skipped.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace corvel::test {

inline std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
    } else if (text[++i] == 'x') {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += text[i] == 'r' ? '\r' : '\n';
    }
  }
  return out;
}

// The cases of the file at `path`, each its fields; none when the file cannot be read.
inline std::vector<std::vector<std::string>> ReadCases(const std::string& path) {
  std::vector<std::vector<std::string>> cases;
  std::ifstream file(path, std::ios::binary);
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line + "|");
    cases.emplace_back();
    for (std::string field; std::getline(fields, field, '|');) {
      cases.back().push_back(Unescape(field));
    }
  }
  return cases;
}

}  // namespace corvel::test
