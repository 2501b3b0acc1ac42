// A logging service: hands each line to the file loggers attached to it. The process keeps
// its live services in creation order; a line logged with no service goes to the first one.
// A service leaves that order when it is cleaned up or destroyed.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "file_logger.h"
#include "service_object.h"

namespace corvel::zepsvc {

class LoggingService : public ServiceObject {
 public:
  explicit LoggingService(uint32_t id);
  ~LoggingService() override;
  const char* ServiceKind() const override { return "logging service"; }
  uint32_t id() const { return mId; }

  void AddLogger(Ref<FileLogger> logger);
  // Gives every logger back and leaves the live order.
  void CleanUp();
  void Write(int level, const char* component, const std::string& message);

  // The first live service with a reference held, or null.
  static Ref<LoggingService> FirstLive();

 private:
  void LeaveLiveOrder();

  const uint32_t mId;
  std::mutex mMutex;
  std::vector<Ref<FileLogger>> mLoggers;
};

}  // namespace corvel::zepsvc
