// The sequence-by-sequence UTF-8/UTF-16 conversion steps behind ConvertUtf8ToUtf16 and
// ConvertUtf16ToUtf8, and the buffered loops with the intermediate buffer size as a
// parameter (the public functions use kUtfBufferUnits).
#pragma once

#include <cstddef>
#include <string>

namespace corvel::util {

constexpr size_t kUtfBufferUnits = 256;

enum class UtfStepResult {
  kDone,             // the whole source was converted
  kSourceTruncated,  // the source ends inside a sequence
  kTargetFull,       // no room for the next sequence's output
  kSourceIllegal,    // an ill-formed sequence
};

// Converts from *source towards source_end into *target towards target_end, sequence by
// sequence (runs of ASCII a block at a time). Both pointers are left after the last sequence
// that was converted whole; the target after the final *target may hold scratch values.
UtfStepResult Utf8ToUtf16Step(const unsigned char** source, const unsigned char* source_end,
                              char16_t** target, char16_t* target_end, bool lenient);
UtfStepResult Utf16ToUtf8Step(const char16_t** source, const char16_t* source_end,
                              unsigned char** target, unsigned char* target_end, bool lenient);

// The whole-string conversions through an intermediate buffer of `buffer_units` units.
std::u16string ConvertUtf8ToUtf16Buffered(const std::string& text, bool lenient,
                                          size_t buffer_units);
std::string ConvertUtf16ToUtf8Buffered(const std::u16string& text, bool lenient,
                                       size_t buffer_bytes);

}  // namespace corvel::util
