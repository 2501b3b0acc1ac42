#include "tag_test_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <ctime>

#include "swtag/swtag.h"
#include "swtag/swtag_entity.h"

namespace corvel::swtag::test {

namespace {

constexpr const char* kSwidNs = "http://standards.iso.org/iso/19770/-2/2008/schema.xsd";

// Runs a command and returns its standard output and exit status.
std::optional<std::string> Capture(const std::string& command, int* status) {
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string out;
  char buffer[4096];
  size_t got = 0;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, got);
  const int rc = pclose(pipe);
  *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

}  // namespace

std::map<uint32_t, std::string> TypicalFields() {
  return {{0, "false"}, {15, "activated"}, {18, "SN-0001"}, {16, "retail"}, {17, "retail"},
          {2, "12.0"},  {3, "12"},         {4, "0"},        {5, "0"},       {6, "0"}};
}

std::string TagScratch::TagDir() const {
  return mScratch.common_appdata() + "/" + TagEntityRegid();
}

std::string TagScratch::TagFile(const std::string& code, const std::string& locale) const {
  return TagDir() + "/" + TagEntityRegid() + "_" + code + (locale.empty() ? "" : "-" + locale) +
         ".swidtag";
}

std::string TagScratch::LogPath() const { return mScratch.temp() + "/swtag.log"; }

std::string TagScratch::ReadLog() const {
  return corvel::test::ReadWholeFile(LogPath()).value_or("");
}

uint16_t RunPass(const std::string& name, const std::string& code, const std::string& locale,
                 const std::map<uint32_t, std::string>& fields) {
  const uint16_t started = SwTagStart(name.c_str(), code.c_str(), locale.c_str(), 0);
  if (started == kSwTagSuccess) {
    for (const auto& [id, value] : fields) SwTagSetField(id, value.c_str());
    SwTagWrite();
  }
  SwTagEnd();
  return started;
}

std::optional<std::string> XPathText(const std::string& file,
                                     const std::vector<std::string>& path) {
  std::string steps = "/*[local-name()='software_identification_tag' and namespace-uri()='" +
                      std::string(kSwidNs) + "']";
  for (const std::string& step : path) {
    steps += "/*[local-name()='" + step + "' and namespace-uri()='" + kSwidNs + "']";
  }
  // A marker around the value tells an empty element from a missing one.
  const std::string expression = "concat('[', string(" + steps + "), ']', count(" + steps + "))";
  int status = 0;
  auto out = Capture(
      "xmllint --nonet --xpath " + ShellQuote(expression) + " " + ShellQuote(file) + " 2>/dev/null",
      &status);
  if (!out || status != 0) return std::nullopt;
  const size_t close = out->rfind(']');
  if (out->empty() || (*out)[0] != '[' || close == std::string::npos) return std::nullopt;
  if (out->substr(close + 1, 1) == "0") return std::nullopt;
  return out->substr(1, close - 1);
}

bool XmlLintAccepts(const std::string& file) {
  int status = 0;
  auto out = Capture("xmllint --nonet --noout " + ShellQuote(file) + " 2>&1", &status);
  return out && status == 0 && out->empty();
}

size_t CountOf(const std::string& text, const std::string& needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

long long ModificationTime(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) return -1;
  return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

bool AgeFile(const std::string& path) {
  struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace corvel::swtag::test
