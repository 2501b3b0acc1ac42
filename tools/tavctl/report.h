// What a command reports: the library calls it made with the status each answered, the
// command's status (the first non-zero one), and its results. Printed either for a person
// (lines on standard output, a failure line on standard error) or, with --json, as one JSON
// object on standard output that carries the library's real statuses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tavctl {

class Report {
 public:
  explicit Report(std::string command);

  // Records one call of an export and the status it answered.
  void Call(const std::string& function, uint32_t status);
  // Records one call of a secure-preference function and its signed result.
  void PrefCall(const std::string& function, int32_t result);
  // A result field of the JSON object.
  void Set(const std::string& key, nlohmann::json value);
  // A line for a person.
  void Say(const std::string& line);

  // The command's status: the first non-zero one of its calls, else 0; none without calls.
  std::optional<int64_t> status() const;
  // That status described ("status 0 (kTAVLibSuccess)"), or "no call".
  std::string StatusText() const;

  // Prints the report and gives the exit status.
  int Finish(bool json) const;

 private:
  struct CallRecord {
    std::string function;
    int64_t status;
    std::string name;  // the status's name
    int exit;          // its exit status
    std::string description;
  };

  void Add(CallRecord call);
  // The first call that did not succeed, else the last one; null without calls.
  const CallRecord* Deciding() const;

  std::string mCommand;
  std::vector<CallRecord> mCalls;
  nlohmann::json mFields = nlohmann::json::object();
  std::vector<std::string> mLines;
};

// A JSON document as text; ill-formed UTF-8 in values is replaced, never an error.
std::string JsonText(const nlohmann::json& document);

}  // namespace tavctl
