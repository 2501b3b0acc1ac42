// Helpers of the configuration tests: capturing standard error, running a body with its
// standard streams redirected in a child process, and recording handler calls.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace corvel::config::test {

// Redirects file descriptor 2 into a file while it lives; Text() returns what was written.
class StderrCapture {
 public:
  explicit StderrCapture(const std::string& file);
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;
  // Stops capturing (once) and returns everything captured.
  std::string Text();

 private:
  void Restore();
  std::string mFile;
  int mSaved;
};

// Runs `body` in a forked child whose standard input reads `input_file` and whose standard
// output (when `output_file` is non-empty) writes that file; returns the child's exit status
// (the body's result modulo 256), or -1 when the child did not exit normally.
int RunWithStandardStreams(const std::string& input_file, const std::string& output_file,
                           const std::function<int()>& body);

// One handler call as recorded.
struct RecordedEntry {
  std::optional<std::string> subdomain;
  std::string key;
  std::optional<std::string> value;
  int is_protected;
  bool operator==(const RecordedEntry&) const = default;
};

// A handler context that records every call and stops the walk at a chosen call.
struct EntryRecorder {
  std::vector<RecordedEntry> entries;
  size_t stop_at_call = 0;  // 1-based call number that returns 1; 0: never stop

  static int Handler(void* context, const char* subdomain, const char* key, const char* value,
                     int is_protected);
};

std::string Describe(const std::vector<RecordedEntry>& entries);

}  // namespace corvel::config::test
