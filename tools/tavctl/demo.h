// The installation demo: a complete installation and uninstallation through the library in a
// scratch folder, shown step by step.
#pragma once

#include <string>

namespace tavctl {

struct DemoOptions {
  std::string parent;  // where the scratch folder is made; empty: the temporary folder
  bool json = false;
};

// Runs the demo and gives the exit status.
int RunDemo(const DemoOptions& options);

}  // namespace tavctl
