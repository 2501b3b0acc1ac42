// The C and Python callers of examples/ against the built library.
#include <gmock/gmock.h>

#include <filesystem>

#include "tool_fixture.h"

namespace tavctl_test {
namespace {

using testing::HasSubstr;

TEST_F(ToolTest, CCallerInstallsReadsBackAndRemoves) {
  const std::string work = scratch.Path("work");
  std::filesystem::create_directory(work);
  const RunResult run = RunProgram(EXAMPLE_C_PATH, {work}, scratch.root());
  EXPECT_EQ(run.exit, 0) << run.out << run.err;
  EXPECT_THAT(run.out, HasSubstr("Edition = Standard, EULA_ACCEPTED = 1"));
  EXPECT_THAT(run.out, HasSubstr("install_example: done"));
  // Read independently through the tool: nothing of the payload is left.
  EXPECT_TRUE(Rows("EXAMPLE-PAYLOAD-100").empty());
}

TEST_F(ToolTest, PythonCallerInstallsReadsBackAndRemoves) {
  const std::string work = scratch.Path("work");
  std::filesystem::create_directory(work);
  EnvChanges env = {{"PYTHONDONTWRITEBYTECODE", "1"}};
  if (std::string(ASAN_RUNTIME).size() > 0) {
    // An instrumented library in an uninstrumented interpreter needs the runtime first.
    env.push_back({"LD_PRELOAD", ASAN_RUNTIME});
    env.push_back({"ASAN_OPTIONS", "detect_leaks=0"});
  }
  const RunResult run = RunProgram(PYTHON_PATH, {EXAMPLE_PY_PATH, "--library", TAVLIB_PATH, work},
                                   scratch.root(), env);
  EXPECT_EQ(run.exit, 0) << run.out << run.err;
  EXPECT_THAT(run.out, HasSubstr("Edition = Standard, EULA_ACCEPTED = 1"));
  EXPECT_THAT(run.out, HasSubstr("install_example: done"));
}

}  // namespace
}  // namespace tavctl_test
