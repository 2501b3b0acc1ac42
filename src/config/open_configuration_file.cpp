// Opening configuration files by UTF-8 path. The path and the mode are first converted to
// UTF-16 into buffers of 260 wide characters, as the wide-character open needs them; a text
// that is ill-formed or does not fit is reported and never opened under a partial name.
#include <cstdio>
#include <string>

#include "config/parse_config.h"
#include "platform/platform.h"
#include "util/utf_convert.h"

namespace corvel::config {

namespace {

constexpr size_t kWideNameBufferSize = 260;

enum class WideConversion { Converted, InsufficientBuffer, InvalidParameter, NoUnicodeTranslation };

WideConversion CheckWideConversion(const char* text) {
  if (text == nullptr) return WideConversion::InvalidParameter;
  std::u16string wide;
  try {
    wide = util::ConvertUtf8ToUtf16(text, /*lenient=*/false);
  } catch (const aws::gen::illegal_utf_sequence&) {
    return WideConversion::NoUnicodeTranslation;
  }
  // The terminator takes one unit of the buffer as well.
  if (wide.size() + 1 > kWideNameBufferSize) return WideConversion::InsufficientBuffer;
  return WideConversion::Converted;
}

void ReportConversionFailure(WideConversion failure, const char* input) {
  switch (failure) {
    case WideConversion::InsufficientBuffer:
      fputs("parseconfig: error converting to wide char: ERROR_INSUFFICIENT_BUFFER", stderr);
      break;
    case WideConversion::InvalidParameter:
      fputs("parseconfig: error converting to wide char: ERROR_INVALID_PARAMETER", stderr);
      break;
    case WideConversion::NoUnicodeTranslation:
      fputs("parseconfig: error converting to wide char: ERROR_NO_UNICODE_TRANSLATION", stderr);
      break;
    case WideConversion::Converted:
      return;
  }
  fprintf(stderr, "parseconfig: input string was %s", input ? input : "(null)");
}

bool ConvertsToWide(const char* text) {
  WideConversion result = CheckWideConversion(text);
  if (result == WideConversion::Converted) return true;
  ReportConversionFailure(result, text);
  return false;
}

}  // namespace

bool FitsConfigurationPathBuffer(const char* path) {
  return CheckWideConversion(path) == WideConversion::Converted;
}

int OpenConfigurationFileForRewrite(const char* path) {
  if (!ConvertsToWide(path) || !ConvertsToWide("wb")) {
    platform::SetError(platform::Error::Invalid);
    return -1;
  }
  return platform::OpenForRewrite(path);
}

FILE* OpenConfigurationFile(const char* path, const char* mode) {
  if (!ConvertsToWide(path) || !ConvertsToWide(mode)) {
    platform::SetError(platform::Error::Invalid);
    return nullptr;
  }
  FILE* stream = platform::OpenFile(path, mode);
  if (stream == nullptr) return nullptr;
  // The wide-character open refuses folders; a POSIX open for reading does not.
  platform::FileInfo info;
  if (platform::GetStreamInfo(stream, &info) && info.kind == platform::FileKind::Folder) {
    fclose(stream);
    platform::SetError(platform::Error::IsFolder);
    return nullptr;
  }
  return stream;
}

}  // namespace corvel::config
