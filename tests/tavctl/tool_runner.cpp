#include "tool_runner.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include <gtest/gtest.h>

#include "test_support.h"

namespace tavctl_test {

namespace fs = std::filesystem;

nlohmann::json RunResult::Json() const {
  nlohmann::json document = nlohmann::json::parse(out, nullptr, false);
  EXPECT_FALSE(document.is_discarded()) << "not JSON: " << out;
  return document.is_discarded() ? nlohmann::json() : document;
}

std::vector<std::string> RunResult::ErrLines() const {
  std::vector<std::string> lines;
  std::istringstream in(err);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& scratch, const EnvChanges& env) {
  const std::string out_path = scratch + "/.run-stdout";
  const std::string err_path = scratch + "/.run-stderr";
  std::vector<std::string> argv_storage = {program};
  argv_storage.insert(argv_storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_storage) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child == 0) {
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = open("/dev/null", O_RDONLY);
    if (out < 0 || err < 0 || in < 0) _exit(126);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    for (const auto& [name, value] : env) {
      if (value) {
        setenv(name.c_str(), value->c_str(), 1);
      } else {
        unsetenv(name.c_str());
      }
    }
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  RunResult result;
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    result.exit = WEXITSTATUS(status);
  }
  result.out = corvel::test::ReadWholeFile(out_path).value_or("");
  result.err = corvel::test::ReadWholeFile(err_path).value_or("");
  fs::remove(out_path);
  fs::remove(err_path);
  return result;
}

RunResult RunTool(const std::vector<std::string>& args, const std::string& scratch,
                  const EnvChanges& env) {
  return RunProgram(TAVCTL_PATH, args, scratch, env);
}

std::vector<std::string> TreeOf(const std::string& root) {
  std::vector<std::string> paths;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    paths.push_back(fs::relative(it->path(), root).string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

}  // namespace tavctl_test
