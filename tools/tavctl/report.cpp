#include "report.h"

#include <cstdio>
#include <iostream>

#include "exit_status.h"

namespace tavctl {

Report::Report(std::string command) : mCommand(std::move(command)) {}

void Report::Call(const std::string& function, uint32_t status) {
  Add({function, status, StatusName(status), ExitStatusFor(status), DescribeStatus(status)});
}

void Report::PrefCall(const std::string& function, int32_t result) {
  Add({function, result, PrefResultName(result), ExitStatusForPref(result),
       DescribePrefResult(result)});
}

void Report::Add(CallRecord call) { mCalls.push_back(std::move(call)); }

const Report::CallRecord* Report::Deciding() const {
  for (const CallRecord& call : mCalls) {
    if (call.status != 0) return &call;
  }
  return mCalls.empty() ? nullptr : &mCalls.back();
}

std::optional<int64_t> Report::status() const {
  const CallRecord* deciding = Deciding();
  if (!deciding) return std::nullopt;
  return deciding->status;
}

std::string Report::StatusText() const {
  const CallRecord* deciding = Deciding();
  return deciding ? deciding->description : "no call";
}

void Report::Set(const std::string& key, nlohmann::json value) { mFields[key] = std::move(value); }

void Report::Say(const std::string& line) { mLines.push_back(line); }

int Report::Finish(bool json) const {
  const CallRecord* deciding = Deciding();
  const int exit = deciding ? deciding->exit : kExitSuccess;
  if (json) {
    nlohmann::json document = {{"command", mCommand}};
    document["status"] = deciding ? nlohmann::json(deciding->status) : nlohmann::json(nullptr);
    document["status_name"] = deciding ? nlohmann::json(deciding->name) : nlohmann::json(nullptr);
    document["exit"] = exit;
    nlohmann::json calls = nlohmann::json::array();
    for (const CallRecord& call : mCalls) {
      calls.push_back(
          {{"function", call.function}, {"status", call.status}, {"status_name", call.name}});
    }
    document["calls"] = calls;
    for (auto it = mFields.begin(); it != mFields.end(); ++it) document[it.key()] = it.value();
    std::cout << JsonText(document) << "\n";
  } else {
    for (const std::string& line : mLines) std::cout << line << "\n";
  }
  std::cout.flush();
  if (deciding && deciding->status != 0) {
    std::cerr << "tavctl: " << mCommand << ": " << deciding->function << " answered "
              << deciding->description << "\n";
  }
  return exit;
}

std::string JsonText(const nlohmann::json& document) {
  return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace tavctl
