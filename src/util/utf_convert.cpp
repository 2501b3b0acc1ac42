#include "util/utf_convert.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "util/utf_steps.h"

namespace corvel::util {

namespace {

using aws::gen::illegal_utf_sequence;

// Trailing bytes that follow each lead byte. 80-BF never lead (they fail the lead-byte rule);
// F8 and above announce more than three, which is always ill-formed.
constexpr unsigned char TrailingBytes(unsigned char lead) {
  if (lead < 0xC0) return 0;
  if (lead < 0xE0) return 1;
  if (lead < 0xF0) return 2;
  if (lead < 0xF8) return 3;
  if (lead < 0xFC) return 4;
  return 5;
}

// The bits of the lead byte that belong to the code point, by trailing-byte count.
constexpr unsigned char kLeadMask[] = {0x7F, 0x1F, 0x0F, 0x07};

constexpr bool IsContinuation(unsigned char byte) { return byte >= 0x80 && byte <= 0xBF; }
constexpr bool IsHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
constexpr bool IsLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The byte rules of one sequence of `length` bytes. Overlong three- and four-byte forms are
// caught by the second-byte rules after E0 and F0; encoded surrogates (after ED) are left to
// the code-point check. In lenient mode the upper bound after F4 is left to the code-point
// check too, so that such a sequence decodes above U+10FFFF and becomes U+FFFD.
bool IsWellFormedSequence(const unsigned char* s, size_t length, bool lenient) {
  const unsigned char lead = s[0];
  if (length > 4) return false;
  for (size_t i = 1; i < length; ++i) {
    if (!IsContinuation(s[i])) return false;
  }
  if (length >= 2) {
    const unsigned char second = s[1];
    if (lead == 0xE0 && second < 0xA0) return false;
    if (lead == 0xF0 && second < 0x90) return false;
    if (lead == 0xF4 && second > 0x8F && !lenient) return false;
  }
  if (lead >= 0x80 && lead <= 0xC1) return false;
  return lead <= 0xF4;
}

size_t Utf8Length(uint32_t code_point) {
  if (code_point < 0x80) return 1;
  if (code_point < 0x800) return 2;
  if (code_point < 0x10000) return 3;
  return 4;
}

void WriteUtf8(uint32_t code_point, size_t length, unsigned char* out) {
  static constexpr unsigned char kFirstByteMark[] = {0x00, 0x00, 0xC0, 0xE0, 0xF0};
  for (size_t i = length - 1; i > 0; --i) {
    out[i] = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
    code_point >>= 6;
  }
  out[0] = static_cast<unsigned char>(code_point | kFirstByteMark[length]);
}

// Widens the ASCII bytes at the start of s[0, n) into t[0, n) and gives their count. Units of
// t after that count, up to n, may be overwritten with scratch values.
size_t WidenAscii(const unsigned char* s, size_t n, char16_t* t) {
  size_t i = 0;
#if defined(__SSE2__)
  if (n >= 16) {
    const __m128i zero = _mm_setzero_si128();
    for (;;) {
      // The last block is taken flush with the end, overlapping bytes already known to be
      // ASCII, so that no byte is left for the slower loops below.
      const size_t at = i + 16 <= n ? i : n - 16;
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(t + at), _mm_unpacklo_epi8(bytes, zero));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(t + at + 8), _mm_unpackhi_epi8(bytes, zero));
      const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
      if (high != 0) return at + static_cast<size_t>(__builtin_ctz(high));
      i = at + 16;
      if (i == n) return n;
    }
  }
#endif
  constexpr uint64_t kHighBits = 0x8080808080808080u;
  for (; i + 8 <= n; i += 8) {
    uint64_t word;
    std::memcpy(&word, s + i, sizeof word);
    if (word & kHighBits) break;
    for (size_t k = 0; k < 8; ++k) t[i + k] = s[i + k];
  }
  for (; i < n && s[i] < 0x80; ++i) t[i] = s[i];
  return i;
}

// Narrows the ASCII units at the start of s[0, n) into t[0, n) and gives their count. Bytes
// of t after that count, up to n, may be overwritten with scratch values.
size_t NarrowAscii(const char16_t* s, size_t n, unsigned char* t) {
  size_t i = 0;
#if defined(__SSE2__)
  if (n >= 8) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i not_ascii = _mm_set1_epi16(static_cast<short>(0xFF80));
    for (;;) {
      const size_t at = i + 8 <= n ? i : n - 8;
      const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + at));
      _mm_storel_epi64(reinterpret_cast<__m128i*>(t + at), _mm_packus_epi16(units, units));
      const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(units, not_ascii), zero);
      const unsigned other = static_cast<unsigned>(_mm_movemask_epi8(ascii)) ^ 0xFFFFu;
      if (other != 0) return at + static_cast<size_t>(__builtin_ctz(other)) / 2;
      i = at + 8;
      if (i == n) return n;
    }
  }
#endif
  // Four units at a time; the mask is the same in every 16-bit lane, so byte order does not
  // matter.
  constexpr uint64_t kNotAscii = 0xFF80FF80FF80FF80u;
  for (; i + 4 <= n; i += 4) {
    uint64_t word;
    std::memcpy(&word, s + i, sizeof word);
    if (word & kNotAscii) break;
    for (size_t k = 0; k < 4; ++k) t[i + k] = static_cast<unsigned char>(s[i + k]);
  }
  for (; i < n && s[i] < 0x80; ++i) t[i] = static_cast<unsigned char>(s[i]);
  return i;
}

// The common well-formed two- and three-byte sequences (no surrogates), decoded without the
// general rules below; false for anything else, which then takes the general way.
bool ConvertPlainSequence(const unsigned char** source, const unsigned char* source_end,
                          char16_t** target, char16_t* target_end) {
  const unsigned char* s = *source;
  const unsigned char lead = s[0];
  const size_t left = static_cast<size_t>(source_end - s);
  if (*target >= target_end) return false;
  if (lead >= 0xC2 && lead <= 0xDF) {
    if (left < 2 || !IsContinuation(s[1])) return false;
    *(*target)++ = static_cast<char16_t>(((lead & 0x1F) << 6) | (s[1] & 0x3F));
    *source = s + 2;
    return true;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (left < 3 || !IsContinuation(s[1]) || !IsContinuation(s[2])) return false;
    if ((lead == 0xE0 && s[1] < 0xA0) || (lead == 0xED && s[1] >= 0xA0)) return false;
    *(*target)++ =
        static_cast<char16_t>(((lead & 0x0F) << 12) | ((s[1] & 0x3F) << 6) | (s[2] & 0x3F));
    *source = s + 3;
    return true;
  }
  return false;
}

// Converts the one sequence at *source, as Utf8ToUtf16Step does.
UtfStepResult Utf8SequenceToUtf16(const unsigned char** source, const unsigned char* source_end,
                                  char16_t** target, char16_t* target_end, bool lenient) {
  if (ConvertPlainSequence(source, source_end, target, target_end)) return UtfStepResult::kDone;
  const unsigned char* s = *source;
  const size_t trailing = TrailingBytes(s[0]);
  if (trailing >= static_cast<size_t>(source_end - s)) return UtfStepResult::kSourceTruncated;
  if (!IsWellFormedSequence(s, trailing + 1, lenient)) return UtfStepResult::kSourceIllegal;

  uint32_t code_point = s[0] & kLeadMask[trailing];
  for (size_t i = 1; i <= trailing; ++i) code_point = (code_point << 6) | (s[i] & 0x3F);

  if (code_point <= 0xFFFF) {
    if (code_point >= 0xD800 && code_point <= 0xDFFF && !lenient) {
      return UtfStepResult::kSourceIllegal;
    }
    if (*target >= target_end) return UtfStepResult::kTargetFull;
    *(*target)++ = static_cast<char16_t>(code_point);
  } else if (code_point > 0x10FFFF) {
    if (!lenient) return UtfStepResult::kSourceIllegal;
    if (*target >= target_end) return UtfStepResult::kTargetFull;
    *(*target)++ = u'\uFFFD';
  } else {
    if (target_end - *target < 2) return UtfStepResult::kTargetFull;
    code_point -= 0x10000;
    *(*target)++ = static_cast<char16_t>(0xD800 + (code_point >> 10));
    *(*target)++ = static_cast<char16_t>(0xDC00 + (code_point & 0x3FF));
  }
  *source = s + trailing + 1;
  return UtfStepResult::kDone;
}

// Converts the one code point (one unit, or a surrogate pair) at *source, as Utf16ToUtf8Step
// does.
UtfStepResult Utf16UnitToUtf8(const char16_t** source, const char16_t* source_end,
                              unsigned char** target, unsigned char* target_end, bool lenient) {
  const char16_t* s = *source;
  uint32_t code_point = s[0];
  size_t used = 1;
  if (IsHighSurrogate(code_point)) {
    // A high surrogate that is the last unit is encoded by itself.
    if (s + 1 < source_end) {
      const uint32_t next = s[1];
      if (IsLowSurrogate(next)) {
        code_point = ((code_point - 0xD800) << 10) + (next - 0xDC00) + 0x10000;
        used = 2;
      } else if (!lenient) {
        return UtfStepResult::kSourceIllegal;
      }
    }
  } else if (IsLowSurrogate(code_point) && !lenient) {
    return UtfStepResult::kSourceIllegal;
  }
  const size_t length = Utf8Length(code_point);
  if (static_cast<size_t>(target_end - *target) < length) return UtfStepResult::kTargetFull;
  WriteUtf8(code_point, length, *target);
  *target += length;
  *source = s + used;
  return UtfStepResult::kDone;
}

// An intermediate buffer: on the stack up to the usual size, else on the heap.
template <typename Unit>
class StepBuffer {
 public:
  explicit StepBuffer(size_t units) : mUnits(units) {
    if (units > kUtfBufferUnits) mHeap = std::make_unique<Unit[]>(units);
  }
  Unit* begin() { return mHeap ? mHeap.get() : mStack; }
  Unit* end() { return begin() + mUnits; }

 private:
  size_t mUnits;
  Unit mStack[kUtfBufferUnits];
  std::unique_ptr<Unit[]> mHeap;
};

// The loop of both step directions: runs of ASCII are copied by `CopyAscii`, every other code
// point is converted by `ConvertOne`.
template <auto CopyAscii, auto ConvertOne, typename Source, typename Target>
UtfStepResult RunSteps(const Source** source, const Source* source_end, Target** target,
                       Target* target_end, bool lenient) {
  const Source* s = *source;
  Target* t = *target;
  UtfStepResult result = UtfStepResult::kDone;
  while (s < source_end) {
    if (s[0] < 0x80) {
      const size_t room =
          std::min(static_cast<size_t>(source_end - s), static_cast<size_t>(target_end - t));
      if (room == 0) {
        result = UtfStepResult::kTargetFull;
        break;
      }
      const size_t ascii = CopyAscii(s, room, t);
      s += ascii;
      t += ascii;
      continue;
    }
    result = ConvertOne(&s, source_end, &t, target_end, lenient);
    if (result != UtfStepResult::kDone) break;
  }
  *source = s;
  *target = t;
  return result;
}

// A whole text through the steps of one direction, a buffer of `buffer_units` at a time.
template <typename Result, typename Source, typename Target, auto Step, typename Text>
Result ConvertBuffered(const Text& text, bool lenient, size_t buffer_units, size_t reserve,
                       const char* bad_sequence) {
  using ResultUnit = typename Result::value_type;
  Result result;
  result.reserve(reserve);
  StepBuffer<Target> buffer(buffer_units);
  const auto* source = reinterpret_cast<const Source*>(text.data());
  const auto* source_end = source + text.size();
  while (source < source_end) {
    Target* target = buffer.begin();
    const UtfStepResult step = Step(&source, source_end, &target, buffer.end(), lenient);
    result.append(reinterpret_cast<const ResultUnit*>(buffer.begin()),
                  static_cast<size_t>(target - buffer.begin()));
    if (step == UtfStepResult::kTargetFull && target == buffer.begin()) {
      throw illegal_utf_sequence("Empty target buffer.");
    }
    // A sequence cut off by the end of the input is reported like any other bad sequence.
    if (step == UtfStepResult::kSourceIllegal || step == UtfStepResult::kSourceTruncated) {
      throw illegal_utf_sequence(bad_sequence);
    }
  }
  return result;
}

// A strict conversion for the Windows-style helpers: false for an empty text or when memory
// is short; an ill-formed text gives true and an empty result.
template <auto Convert, typename In, typename Out>
bool ConvertStrictly(const In& text, Out* out) {
  if (!out) return false;
  out->clear();
  if (text.empty()) return false;
  try {
    *out = Convert(text, false);
  } catch (const illegal_utf_sequence&) {
    out->clear();
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

UtfStepResult Utf8ToUtf16Step(const unsigned char** source, const unsigned char* source_end,
                              char16_t** target, char16_t* target_end, bool lenient) {
  return RunSteps<WidenAscii, Utf8SequenceToUtf16>(source, source_end, target, target_end, lenient);
}

UtfStepResult Utf16ToUtf8Step(const char16_t** source, const char16_t* source_end,
                              unsigned char** target, unsigned char* target_end, bool lenient) {
  return RunSteps<NarrowAscii, Utf16UnitToUtf8>(source, source_end, target, target_end, lenient);
}

std::u16string ConvertUtf8ToUtf16Buffered(const std::string& text, bool lenient,
                                          size_t buffer_units) {
  return ConvertBuffered<std::u16string, unsigned char, char16_t, Utf8ToUtf16Step>(
      text, lenient, buffer_units, text.size(), "Bad UTF-8 sequence.");
}

std::string ConvertUtf16ToUtf8Buffered(const std::u16string& text, bool lenient,
                                       size_t buffer_bytes) {
  return ConvertBuffered<std::string, char16_t, unsigned char, Utf16ToUtf8Step>(
      text, lenient, buffer_bytes, text.size() * 3 / 2, "Bad UTF-16 sequence.");
}

std::u16string ConvertUtf8ToUtf16(const std::string& text, bool lenient) {
  return ConvertUtf8ToUtf16Buffered(text, lenient, kUtfBufferUnits);
}

std::string ConvertUtf16ToUtf8(const std::u16string& text, bool lenient) {
  return ConvertUtf16ToUtf8Buffered(text, lenient, kUtfBufferUnits);
}

bool Utf8ToWide(const std::string& text, std::u16string* out) {
  return ConvertStrictly<ConvertUtf8ToUtf16>(text, out);
}

bool WideToUtf8(const std::u16string& text, std::string* out) {
  return ConvertStrictly<ConvertUtf16ToUtf8>(text, out);
}

}  // namespace corvel::util
