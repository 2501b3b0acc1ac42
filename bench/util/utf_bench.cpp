// UTF-8 to UTF-16 and back on a few MB of mixed text, timed side by side with glibc iconv
// on the same input in the same run. Each iteration converts with both and the counters
// give both throughputs and their ratio (above 1: faster than iconv).
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <chrono>
#include <random>
#include <stdexcept>
#include <string>

#include "util/utf_convert.h"

namespace {

using Clock = std::chrono::steady_clock;

// About 4 MB: mostly ASCII, with Latin, Greek and Cyrillic letters, CJK and the euro sign,
// and some characters outside the basic plane.
const std::u16string& MixedUtf16() {
  static const std::u16string text = [] {
    const std::u16string ascii = u"The quick brown fox jumps over the lazy dog 0123456789. ";
    const std::u16string two = u"\u00e9\u00fc\u00df\u03a9\u03bb\u0416\u044f";
    const std::u16string three = u"\u4e2d\u6587\u65e5\u672c\u20ac\u2603";
    const std::u16string four[] = {u"\U0001F600", u"\U0001F680", u"\U00020BB7"};
    std::mt19937 random(42);
    std::uniform_int_distribution<int> percent(0, 99);
    std::u16string out;
    while (out.size() < 2u << 20) {
      const int p = percent(random);
      if (p < 70) {
        out += ascii[random() % ascii.size()];
      } else if (p < 85) {
        out += two[random() % two.size()];
      } else if (p < 95) {
        out += three[random() % three.size()];
      } else {
        out += four[random() % 3];
      }
    }
    return out;
  }();
  return text;
}

const std::string& MixedUtf8() {
  static const std::string text = corvel::util::ConvertUtf16ToUtf8(MixedUtf16(), false);
  return text;
}

class Iconv {
 public:
  Iconv(const char* from, const char* to) : mCd(iconv_open(to, from)) {
    if (mCd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open");
  }
  ~Iconv() { iconv_close(mCd); }
  // Converts `size` bytes into `out`, resized to the bytes produced.
  template <typename Out>
  void Convert(const void* data, size_t size, Out& out) {
    out.resize(size * 2);
    char* in = const_cast<char*>(static_cast<const char*>(data));
    size_t in_left = size;
    char* target = reinterpret_cast<char*>(out.data());
    size_t out_left = out.size() * sizeof(typename Out::value_type);
    iconv(mCd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(mCd, &in, &in_left, &target, &out_left) == static_cast<size_t>(-1)) {
      throw std::runtime_error("iconv rejected the input");
    }
    out.resize(out.size() - out_left / sizeof(typename Out::value_type));
  }

 private:
  iconv_t mCd;
};

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

void SetCounters(benchmark::State& state, size_t input_bytes, double ours, double theirs) {
  const double bytes = static_cast<double>(input_bytes) * static_cast<double>(state.iterations());
  state.counters["corvel_MB/s"] = bytes / ours / 1e6;
  state.counters["iconv_MB/s"] = bytes / theirs / 1e6;
  state.counters["speed_vs_iconv"] = theirs / ours;
}

void BM_Utf8ToUtf16VersusIconv(benchmark::State& state) {
  const std::string& input = MixedUtf8();
  Iconv reference("UTF-8", "UTF-16LE");
  std::u16string theirs;
  double ours_seconds = 0;
  double theirs_seconds = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    std::u16string ours = corvel::util::ConvertUtf8ToUtf16(input, false);
    benchmark::DoNotOptimize(ours.data());
    auto middle = Clock::now();
    reference.Convert(input.data(), input.size(), theirs);
    benchmark::DoNotOptimize(theirs.data());
    auto end = Clock::now();
    ours_seconds += Seconds(middle - start);
    theirs_seconds += Seconds(end - middle);
    if (ours != theirs) state.SkipWithError("results differ from iconv");
  }
  SetCounters(state, input.size(), ours_seconds, theirs_seconds);
}
BENCHMARK(BM_Utf8ToUtf16VersusIconv)->Unit(benchmark::kMillisecond);

void BM_Utf16ToUtf8VersusIconv(benchmark::State& state) {
  const std::u16string& input = MixedUtf16();
  Iconv reference("UTF-16LE", "UTF-8");
  std::string theirs;
  double ours_seconds = 0;
  double theirs_seconds = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    std::string ours = corvel::util::ConvertUtf16ToUtf8(input, false);
    benchmark::DoNotOptimize(ours.data());
    auto middle = Clock::now();
    reference.Convert(input.data(), input.size() * 2, theirs);
    benchmark::DoNotOptimize(theirs.data());
    auto end = Clock::now();
    ours_seconds += Seconds(middle - start);
    theirs_seconds += Seconds(end - middle);
    if (ours != theirs) state.SkipWithError("results differ from iconv");
  }
  SetCounters(state, input.size() * 2, ours_seconds, theirs_seconds);
}
BENCHMARK(BM_Utf16ToUtf8VersusIconv)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
