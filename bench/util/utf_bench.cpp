// UTF-8 to UTF-16 and back, timed side by side with glibc iconv in the same run:
//  - per text: a corpus of short texts (paths, store keys, log lines of 20 to 200 bytes),
//    one call per text, once all ASCII and once the same shapes in mixed scripts;
//  - one large buffer of a few MB of mixed text.
// Each iteration converts the whole input with both; the counters give both throughputs and
// their ratio (speed_vs_iconv above 1: faster than iconv), and a summary line after the table
// repeats the per-text ratios. The iconv caller opens its descriptor once and converts each
// text into a reused scratch buffer, then builds a string of the exact length: the same
// result our call hands back, with no more work than a careful caller would do.
#include <benchmark/benchmark.h>
#include <iconv.h>

#include <time.h>

#include <cstdio>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "util/utf_convert.h"

namespace {

// Time spent on this thread's processor time, in seconds: the machine is shared, and the
// wall clock would charge either side for the other programs that run meanwhile.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

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

// The words the short texts are made of: ASCII only, or names, folders and messages in
// Cyrillic, Greek, Japanese, Chinese, Arabic and accented Latin (and the odd emoji).
struct Vocabulary {
  std::vector<std::string> users;
  std::vector<std::string> folders;
  std::vector<std::string> files;
  std::vector<std::string> words;
};

const Vocabulary& AsciiWords() {
  static const Vocabulary words{
      {"alice", "build-agent", "jsmith", "Administrator", "svc_install", "qa01"},
      {"Corvel", "TAV", "PCD", "Common Files", "AppData", "Local", ".local", "share", "Documents",
       "regid.2009-04.com.corvel", "Program Files (x86)", "config", "Downloads", "Projects"},
      {"securePrefs.xml", "application.xml", "application.xml.override", "pcd.db", "tavlib.log",
       "swtag.log", "report-2023.docx", "notes.txt", "setup.exe", "draft.md"},
      {"payload", "installed", "locale", "override", "stored", "entries", "product", "driver",
       "agreement", "accepted", "removed", "transaction", "committed", "tag", "written"},
  };
  return words;
}

const Vocabulary& MixedWords() {
  static const Vocabulary words{
      {"Мария", "山田太郎", "José", "Ελένη", "Søren", "محمد"},
      {"Corvel", "Документы", "ドキュメント", "Téléchargements", "Εργασία", "文档", "Загрузки",
       "プロジェクト", "Öffentlich", "Προσωπικά", "AppData", "Local", "مستندات", "Проекты"},
      {"отчёт-2023.docx", "設定.xml", "résumé.txt", "πρόγραμμα.log", "笔记.txt", "черновик.md",
       "application.xml", "заметки 📝.txt", "Übersicht.pdf", "報告書.pdf"},
      {"полезная", "нагрузка", "установлена", "インストール", "完了", "εγκατάσταση", "ολοκληρώθηκε",
       "Paket", "größe", "已安装", "产品", "accepté", "trouvé", "передача", "завершена"},
  };
  return words;
}

class TextMaker {
 public:
  TextMaker(const Vocabulary& words, unsigned seed) : mWords(words), mRandom(seed) {}

  // One path, store key or log line; the kinds come round in turn.
  std::string Next() {
    switch (mKind++ % 3) {
      case 0:
        return Path();
      case 1:
        return Key();
      default:
        return LogLine();
    }
  }

 private:
  unsigned Below(unsigned n) { return static_cast<unsigned>(mRandom() % n); }

  const std::string& Pick(const std::vector<std::string>& list) {
    return list[Below(static_cast<unsigned>(list.size()))];
  }

  std::string Guid() {
    static const char kHex[] = "0123456789ABCDEF";
    std::string guid = "{";
    for (int group : {8, 4, 4, 4, 12}) {
      for (int i = 0; i < group; ++i) guid += kHex[Below(16)];
      guid += group == 12 ? "}" : "-";
    }
    return guid;
  }

  std::string Path() {
    const bool windows = Below(2) == 1;
    const std::string separator = windows ? "\\" : "/";
    std::string path = windows ? "C:\\Users\\" : "/home/";
    path += Pick(mWords.users);
    for (unsigned depth = 1 + Below(4); depth > 0; --depth) {
      path += separator + Pick(mWords.folders);
    }
    return path + separator + Pick(mWords.files);
  }

  std::string Key() {
    std::string key = Guid() + "/";
    for (unsigned parts = 1 + Below(3); parts > 0; --parts) {
      key += Pick(mWords.words) + (parts > 1 ? "." : "");
    }
    return key;
  }

  std::string LogLine() {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "2024-05-%02u 1%u:%02u:%02u.%03u [%u] INFO TAVLib ",
                  1 + Below(28), Below(10), Below(60), Below(60), Below(1000), 1000 + Below(60000));
    std::string line = stamp;
    for (unsigned count = 2 + Below(8); count > 0; --count) line += Pick(mWords.words) + " ";
    return line + Guid();
  }

  const Vocabulary& mWords;
  std::mt19937 mRandom;
  unsigned mKind = 0;
};

// 1000 texts of 20 to 200 bytes each.
std::vector<std::string> MakeCorpus(const Vocabulary& words) {
  TextMaker maker(words, 2024);
  std::vector<std::string> texts;
  while (texts.size() < 1000) {
    std::string text = maker.Next();
    if (text.size() >= 20 && text.size() <= 200) texts.push_back(std::move(text));
  }
  return texts;
}

const std::vector<std::string>& AsciiTexts() {
  static const std::vector<std::string> texts = MakeCorpus(AsciiWords());
  return texts;
}

const std::vector<std::string>& MixedTexts() {
  static const std::vector<std::string> texts = MakeCorpus(MixedWords());
  return texts;
}

std::vector<std::u16string> ToUtf16(const std::vector<std::string>& texts) {
  std::vector<std::u16string> wide;
  for (const std::string& text : texts) {
    wide.push_back(corvel::util::ConvertUtf8ToUtf16(text, false));
  }
  return wide;
}

const std::vector<std::u16string>& AsciiTexts16() {
  static const std::vector<std::u16string> texts = ToUtf16(AsciiTexts());
  return texts;
}

const std::vector<std::u16string>& MixedTexts16() {
  static const std::vector<std::u16string> texts = ToUtf16(MixedTexts());
  return texts;
}

class Iconv {
 public:
  Iconv(const char* from, const char* to) : mCd(iconv_open(to, from)) {
    if (mCd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open");
  }
  ~Iconv() { iconv_close(mCd); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Converts `size` bytes into `out`, resized to the bytes produced.
  template <typename Out>
  void Convert(const void* data, size_t size, Out& out) {
    out.resize(size * 2);
    const size_t produced = Run(data, size, reinterpret_cast<char*>(out.data()),
                                out.size() * sizeof(typename Out::value_type));
    out.resize(produced / sizeof(typename Out::value_type));
  }

  // One short text, as a caller wanting a string back would convert it.
  template <typename Out, typename In>
  Out ConvertText(const In& text) {
    const size_t size = text.size() * sizeof(typename In::value_type);
    // Either direction gives at most twice the bytes it is given.
    if (mScratch.size() < size * 2) mScratch.resize(size * 2);
    const size_t produced = Run(text.data(), size, mScratch.data(), mScratch.size());
    return Out(reinterpret_cast<const typename Out::value_type*>(mScratch.data()),
               produced / sizeof(typename Out::value_type));
  }

 private:
  size_t Run(const void* data, size_t size, char* target, size_t target_size) {
    char* in = const_cast<char*>(static_cast<const char*>(data));
    size_t in_left = size;
    size_t out_left = target_size;
    if (iconv(mCd, &in, &in_left, &target, &out_left) == static_cast<size_t>(-1)) {
      iconv(mCd, nullptr, nullptr, nullptr, nullptr);
      throw std::runtime_error("iconv rejected the input");
    }
    return target_size - out_left;
  }

  iconv_t mCd;
  std::vector<char> mScratch;
};

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
    const double start = ThreadSeconds();
    std::u16string ours = corvel::util::ConvertUtf8ToUtf16(input, false);
    benchmark::DoNotOptimize(ours.data());
    const double middle = ThreadSeconds();
    reference.Convert(input.data(), input.size(), theirs);
    benchmark::DoNotOptimize(theirs.data());
    const double end = ThreadSeconds();
    ours_seconds += middle - start;
    theirs_seconds += end - middle;
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
    const double start = ThreadSeconds();
    std::string ours = corvel::util::ConvertUtf16ToUtf8(input, false);
    benchmark::DoNotOptimize(ours.data());
    const double middle = ThreadSeconds();
    reference.Convert(input.data(), input.size() * 2, theirs);
    benchmark::DoNotOptimize(theirs.data());
    const double end = ThreadSeconds();
    ours_seconds += middle - start;
    theirs_seconds += end - middle;
    if (ours != theirs) state.SkipWithError("results differ from iconv");
  }
  SetCounters(state, input.size() * 2, ours_seconds, theirs_seconds);
}
BENCHMARK(BM_Utf16ToUtf8VersusIconv)->Unit(benchmark::kMillisecond);

// One call per text of the corpus with each converter; the two results are compared once
// before timing.
template <typename Out, typename In, typename Ours>
void PerTextVersusIconv(benchmark::State& state, const std::vector<In>& texts, const char* from,
                        const char* to, Ours ours) {
  Iconv reference(from, to);
  size_t bytes = 0;
  for (const In& text : texts) {
    if (ours(text) != reference.ConvertText<Out>(text)) {
      state.SkipWithError("results differ from iconv");
      return;
    }
    bytes += text.size() * sizeof(typename In::value_type);
  }
  double ours_seconds = 0;
  double theirs_seconds = 0;
  for (auto _ : state) {
    const double start = ThreadSeconds();
    for (const In& text : texts) {
      Out out = ours(text);
      benchmark::DoNotOptimize(out.data());
    }
    const double middle = ThreadSeconds();
    for (const In& text : texts) {
      Out out = reference.ConvertText<Out>(text);
      benchmark::DoNotOptimize(out.data());
    }
    const double end = ThreadSeconds();
    ours_seconds += middle - start;
    theirs_seconds += end - middle;
  }
  SetCounters(state, bytes, ours_seconds, theirs_seconds);
}

std::u16string OursToUtf16(const std::string& text) {
  return corvel::util::ConvertUtf8ToUtf16(text, false);
}

std::string OursToUtf8(const std::u16string& text) {
  return corvel::util::ConvertUtf16ToUtf8(text, false);
}

void BM_PerTextUtf8ToUtf16Ascii(benchmark::State& state) {
  PerTextVersusIconv<std::u16string>(state, AsciiTexts(), "UTF-8", "UTF-16LE", OursToUtf16);
}
BENCHMARK(BM_PerTextUtf8ToUtf16Ascii)->Unit(benchmark::kMicrosecond);

void BM_PerTextUtf8ToUtf16Mixed(benchmark::State& state) {
  PerTextVersusIconv<std::u16string>(state, MixedTexts(), "UTF-8", "UTF-16LE", OursToUtf16);
}
BENCHMARK(BM_PerTextUtf8ToUtf16Mixed)->Unit(benchmark::kMicrosecond);

void BM_PerTextUtf16ToUtf8Ascii(benchmark::State& state) {
  PerTextVersusIconv<std::string>(state, AsciiTexts16(), "UTF-16LE", "UTF-8", OursToUtf8);
}
BENCHMARK(BM_PerTextUtf16ToUtf8Ascii)->Unit(benchmark::kMicrosecond);

void BM_PerTextUtf16ToUtf8Mixed(benchmark::State& state) {
  PerTextVersusIconv<std::string>(state, MixedTexts16(), "UTF-16LE", "UTF-8", OursToUtf8);
}
BENCHMARK(BM_PerTextUtf16ToUtf8Mixed)->Unit(benchmark::kMicrosecond);

// The console table, then one summary line per direction with the per-text ratios.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  SummaryReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const auto ratio = run.counters.find("speed_vs_iconv");
      if (!run.error_occurred && ratio != run.counters.end()) {
        mRatios[run.benchmark_name()] = ratio->second.value;
      }
    }
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    Line("UTF-8 -> UTF-16", "BM_PerTextUtf8ToUtf16");
    Line("UTF-16 -> UTF-8", "BM_PerTextUtf16ToUtf8");
  }

 private:
  std::string Ratio(const std::string& name) const {
    const auto found = mRatios.find(name);
    if (found == mRatios.end()) return "not run";
    char text[32];
    std::snprintf(text, sizeof text, "%.2fx", found->second);
    return text;
  }

  void Line(const char* direction, const std::string& prefix) const {
    std::printf("%s, one call per text, speed vs iconv: ASCII %s, mixed scripts %s\n", direction,
                Ratio(prefix + "Ascii").c_str(), Ratio(prefix + "Mixed").c_str());
  }

  std::map<std::string, double> mRatios;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
