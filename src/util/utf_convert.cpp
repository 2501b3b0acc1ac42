#include "util/utf_convert.h"

#include <cstdint>
#include <memory>
#include <new>

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

}  // namespace

UtfStepResult Utf8ToUtf16Step(const unsigned char** source, const unsigned char* source_end,
                              char16_t** target, char16_t* target_end, bool lenient) {
  while (*source < source_end) {
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
  }
  return UtfStepResult::kDone;
}

UtfStepResult Utf16ToUtf8Step(const char16_t** source, const char16_t* source_end,
                              unsigned char** target, unsigned char* target_end, bool lenient) {
  while (*source < source_end) {
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
  }
  return UtfStepResult::kDone;
}

std::u16string ConvertUtf8ToUtf16Buffered(const std::string& text, bool lenient,
                                          size_t buffer_units) {
  std::u16string result;
  result.reserve(text.size());
  StepBuffer<char16_t> buffer(buffer_units);
  const auto* source = reinterpret_cast<const unsigned char*>(text.data());
  const auto* source_end = source + text.size();
  while (source < source_end) {
    char16_t* target = buffer.begin();
    const UtfStepResult step =
        Utf8ToUtf16Step(&source, source_end, &target, buffer.end(), lenient);
    result.append(buffer.begin(), target);
    if (step == UtfStepResult::kTargetFull && target == buffer.begin()) {
      throw illegal_utf_sequence("Empty target buffer.");
    }
    // A sequence cut off by the end of the input is reported like any other bad sequence.
    if (step == UtfStepResult::kSourceIllegal || step == UtfStepResult::kSourceTruncated) {
      throw illegal_utf_sequence("Bad UTF-8 sequence.");
    }
  }
  return result;
}

std::string ConvertUtf16ToUtf8Buffered(const std::u16string& text, bool lenient,
                                       size_t buffer_bytes) {
  std::string result;
  result.reserve(text.size() * 3 / 2);
  StepBuffer<unsigned char> buffer(buffer_bytes);
  const char16_t* source = text.data();
  const char16_t* source_end = source + text.size();
  while (source < source_end) {
    unsigned char* target = buffer.begin();
    const UtfStepResult step =
        Utf16ToUtf8Step(&source, source_end, &target, buffer.end(), lenient);
    result.append(reinterpret_cast<const char*>(buffer.begin()),
                  static_cast<size_t>(target - buffer.begin()));
    if (step == UtfStepResult::kTargetFull && target == buffer.begin()) {
      throw illegal_utf_sequence("Empty target buffer.");
    }
    if (step == UtfStepResult::kSourceIllegal || step == UtfStepResult::kSourceTruncated) {
      throw illegal_utf_sequence("Bad UTF-16 sequence.");
    }
  }
  return result;
}

std::u16string ConvertUtf8ToUtf16(const std::string& text, bool lenient) {
  return ConvertUtf8ToUtf16Buffered(text, lenient, kUtfBufferUnits);
}

std::string ConvertUtf16ToUtf8(const std::u16string& text, bool lenient) {
  return ConvertUtf16ToUtf8Buffered(text, lenient, kUtfBufferUnits);
}

bool Utf8ToWide(const std::string& text, std::u16string* out) {
  if (!out) return false;
  out->clear();
  if (text.empty()) return false;
  try {
    *out = ConvertUtf8ToUtf16(text, false);
  } catch (const illegal_utf_sequence&) {
    out->clear();
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool WideToUtf8(const std::u16string& text, std::string* out) {
  if (!out) return false;
  out->clear();
  if (text.empty()) return false;
  try {
    *out = ConvertUtf16ToUtf8(text, false);
  } catch (const illegal_utf_sequence&) {
    out->clear();
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace corvel::util
