#include "logging_service.h"

#include <algorithm>
#include <list>

namespace corvel::zepsvc {

namespace {

std::mutex gLiveMutex;
std::list<LoggingService*> gLiveServices;  // in creation order

}  // namespace

LoggingService::LoggingService(uint32_t id) : mId(id) {
  std::lock_guard<std::mutex> lock(gLiveMutex);
  gLiveServices.push_back(this);
}

LoggingService::~LoggingService() { LeaveLiveOrder(); }

void LoggingService::LeaveLiveOrder() {
  std::lock_guard<std::mutex> lock(gLiveMutex);
  gLiveServices.remove(this);
}

void LoggingService::AddLogger(Ref<FileLogger> logger) {
  std::lock_guard<std::mutex> lock(mMutex);
  if (std::none_of(mLoggers.begin(), mLoggers.end(),
                   [&](const Ref<FileLogger>& known) { return known.get() == logger.get(); })) {
    mLoggers.push_back(std::move(logger));
  }
}

void LoggingService::CleanUp() {
  LeaveLiveOrder();
  std::vector<Ref<FileLogger>> loggers;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    loggers.swap(mLoggers);
  }
  // `loggers` gives the references back here, outside the service's lock.
}

void LoggingService::Write(int level, const char* component, const std::string& message) {
  std::vector<Ref<FileLogger>> loggers;
  {
    std::lock_guard<std::mutex> lock(mMutex);
    loggers = mLoggers;
  }
  for (const Ref<FileLogger>& logger : loggers) logger->Write(level, component, message);
}

Ref<LoggingService> LoggingService::FirstLive() {
  ZEPHandle first = nullptr;
  {
    std::lock_guard<std::mutex> lock(gLiveMutex);
    if (gLiveServices.empty()) return {};
    first = gLiveServices.front()->handle();
  }
  // The registry confirms the object is still alive before it is touched.
  return Pin<LoggingService>(first);
}

}  // namespace corvel::zepsvc
