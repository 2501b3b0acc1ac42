#include "report.h"

#include <cstdio>
#include <iostream>

#include "exit_status.h"

namespace tavctl {

Report::Report(std::string command) : mCommand(std::move(command)) {}

void Report::Call(const std::string& function, uint32_t status) {
  mCalls.push_back({function, status});
  if (!mStatus || (*mStatus == 0 && status != 0)) {
    mStatus = status;
    if (status != 0) mFailedFunction = function;
  }
}

void Report::Set(const std::string& key, nlohmann::json value) { mFields[key] = std::move(value); }

void Report::Say(const std::string& line) { mLines.push_back(line); }

int Report::Finish(bool json) const {
  const uint32_t status = mStatus.value_or(0);
  const int exit = ExitStatusFor(status);
  if (json) {
    nlohmann::json document = {{"command", mCommand}};
    document["status"] = mStatus ? nlohmann::json(status) : nlohmann::json(nullptr);
    document["status_name"] = mStatus ? nlohmann::json(StatusName(status)) : nlohmann::json(nullptr);
    document["exit"] = exit;
    nlohmann::json calls = nlohmann::json::array();
    for (const CallRecord& call : mCalls) {
      calls.push_back({{"function", call.function}, {"status", call.status},
                       {"status_name", StatusName(call.status)}});
    }
    document["calls"] = calls;
    for (auto it = mFields.begin(); it != mFields.end(); ++it) document[it.key()] = it.value();
    std::cout << JsonText(document) << "\n";
  } else {
    for (const std::string& line : mLines) std::cout << line << "\n";
  }
  std::cout.flush();
  if (status != 0) {
    std::cerr << "tavctl: " << mCommand << ": " << mFailedFunction << " answered "
              << DescribeStatus(status) << "\n";
  }
  return exit;
}

std::string JsonText(const nlohmann::json& document) {
  return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace tavctl
