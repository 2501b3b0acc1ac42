#include "config_test_helpers.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "test_support.h"

namespace corvel::config::test {

StderrCapture::StderrCapture(const std::string& file) : mFile(file), mSaved(-1) {
  fflush(stderr);
  int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) throw std::runtime_error("cannot create " + file);
  mSaved = dup(2);
  dup2(fd, 2);
  close(fd);
}

StderrCapture::~StderrCapture() { Restore(); }

void StderrCapture::Restore() {
  if (mSaved < 0) return;
  fflush(stderr);
  dup2(mSaved, 2);
  close(mSaved);
  mSaved = -1;
}

std::string StderrCapture::Text() {
  Restore();
  return corvel::test::ReadWholeFile(mFile).value_or("<unreadable>");
}

int RunWithStandardStreams(const std::string& input_file, const std::string& output_file,
                           const std::function<int()>& body) {
  fflush(nullptr);
  pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    int in = open(input_file.c_str(), O_RDONLY);
    if (in < 0 || dup2(in, 0) < 0) _exit(254);
    close(in);
    if (!output_file.empty()) {
      int out = open(output_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out < 0 || dup2(out, 1) < 0) _exit(254);
      close(out);
    }
    int status = body();
    _exit(status & 0xff);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int EntryRecorder::Handler(void* context, const char* subdomain, const char* key, const char* value,
                           int is_protected) {
  auto* recorder = static_cast<EntryRecorder*>(context);
  recorder->entries.push_back(
      RecordedEntry{subdomain ? std::optional<std::string>(subdomain) : std::nullopt, key,
                    value ? std::optional<std::string>(value) : std::nullopt, is_protected});
  return recorder->entries.size() == recorder->stop_at_call ? 1 : 0;
}

std::string Describe(const std::vector<RecordedEntry>& entries) {
  std::ostringstream out;
  for (const RecordedEntry& e : entries) {
    out << "[" << e.subdomain.value_or("<null>") << "] " << e.key << "="
        << e.value.value_or("<null>") << " p=" << e.is_protected << "\n";
  }
  return out.str();
}

}  // namespace corvel::config::test
