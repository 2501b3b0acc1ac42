// ParseTimeStamp on arbitrary text, and the two formatters on arbitrary calendar fields.
// Checked on every input:
//  - a parsed time stamp within 1970..3000, formatted back as UTC and parsed again, gives
//    the same seconds;
//  - a time stamp formatted with an offset parses to the calendar's seconds less the offset
//    (brought into -12:00..+12:00, whole minutes);
//  - neither formatter overflows its buffer, whatever the calendar fields.
#include <ctime>

#include "fuzz_support.h"
#include "util/time_stamp.h"

namespace util = corvel::util;

namespace {

// 3000-12-31T23:59:59Z, the last second the UTC conversion accepts.
constexpr int64_t kLastSecond = 32535215999;

struct tm Calendar(time_t moment) {
  struct tm calendar {};
  FUZZ_CHECK(gmtime_r(&moment, &calendar) != nullptr, "gmtime_r failed");
  return calendar;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int64_t seconds = 0, again = -1;
  std::string stamp;
  // An offset may move a time at the edge of the range outside it; the UTC form cannot
  // express such a time, so only times inside the range are formatted back.
  if (util::ParseTimeStamp(std::string(reinterpret_cast<const char*>(data), size), &seconds) &&
      seconds >= 0 && seconds <= kLastSecond) {
    util::FormatUtcTimeStamp(Calendar(seconds), stamp);
    FUZZ_CHECK(util::ParseTimeStamp(stamp, &again), "a formatted time stamp does not parse");
    FUZZ_CHECK(again == seconds, "round trip through " + stamp + " changed the seconds");
  }

  // A valid calendar time in range, and an arbitrary offset: the text carries whole minutes
  // of the offset brought into -12:00..+12:00.
  FuzzedDataProvider in(data, size);
  seconds = in.ConsumeIntegralInRange<int64_t>(0, kLastSecond);
  const long offset = in.ConsumeIntegral<long>();
  util::FormatOffsetTimeStamp(Calendar(seconds), offset, stamp);
  FUZZ_CHECK(stamp.size() == 25, "offset time stamp of unexpected length: " + stamp);
  long normalised = offset % 86400;
  if (normalised > 43200) normalised -= 86400;
  if (normalised < -43200) normalised += 86400;
  FUZZ_CHECK(util::ParseTimeStamp(stamp, &again), "an offset time stamp does not parse");
  FUZZ_CHECK(again == seconds - normalised / 60 * 60,
             "offset time stamp parsed to other seconds: " + stamp);

  // Out-of-range fields must not overflow the fixed buffers either (the address sanitizer
  // stops at the first byte written past one). The year and month stay where adding 1900 and
  // 1 cannot overflow, as in any calendar the C library fills.
  struct tm wild {};
  wild.tm_year = in.ConsumeIntegralInRange<int>(INT_MIN, INT_MAX - 1900);
  wild.tm_mon = in.ConsumeIntegralInRange<int>(INT_MIN, INT_MAX - 1);
  for (int* field : {&wild.tm_mday, &wild.tm_hour, &wild.tm_min, &wild.tm_sec}) {
    *field = in.ConsumeIntegral<int>();
  }
  util::FormatUtcTimeStamp(wild, stamp);
  util::FormatOffsetTimeStamp(wild, in.ConsumeIntegral<long>(), stamp);
  (void)util::ParseTimeStamp(stamp, &again);
  return 0;
}
