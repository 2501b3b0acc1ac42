// Loading and saving documents: UTF-8 (or any bytes) as they are, or UTF-16LE after the
// byte-order mark FF FE, which the document keeps as its UnicodeFile flag.
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "markup/markup_document.h"
#include "platform/platform.h"
#include "util/utf_convert.h"

namespace corvel::markup {

namespace {

using Stream = std::unique_ptr<FILE, platform::FileCloser>;
using platform::OpenFlags;

// Files are opened without following a symbolic link at the final name (tag files live in a
// folder that every user can write) and without blocking on a planted FIFO; for regular
// files NonBlocking changes nothing.
Stream OpenForReading(const char* path) {
  const int fd = platform::OpenNoFollow(path ? path : "", OpenFlags::Read | OpenFlags::NonBlocking);
  if (fd < 0) return nullptr;
  return Stream(platform::StreamFromFd(fd, "rb"));
}

Stream OpenForWriting(const char* path) {
  const OpenFlags flags =
      OpenFlags::Write | OpenFlags::Create | OpenFlags::Truncate | OpenFlags::NonBlocking;
  const int fd = platform::OpenNoFollow(path ? path : "", flags, 0666);
  if (fd < 0) return nullptr;
  return Stream(platform::StreamFromFd(fd, "wb"));
}

std::string SystemMessage(platform::Error error) {
  return platform::ErrorMessage(platform::ErrorCode(error));
}
// The system's message for its last error; an I/O error's when it has none.
std::string LastSystemMessage() {
  const int code = platform::LastErrorCode();
  return code ? platform::ErrorMessage(code) : SystemMessage(platform::Error::Io);
}

std::string Format(const char* format, long long first, long long second = 0) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer, format, first, second);
  return buffer;
}

// Finishes a written stream: flushes it and reports whether every write reached the file.
bool CloseWritten(Stream& stream) {
  const bool flushed = std::fflush(stream.get()) == 0 && !std::ferror(stream.get());
  const bool closed = std::fclose(stream.release()) == 0;
  return flushed && closed;
}

constexpr unsigned char kByteOrderMark[2] = {0xFF, 0xFE};

}  // namespace

std::string MarkupUtf16ToUtf8(const char16_t* units, size_t count) {
  // First pass: the byte count; second pass: the bytes.
  auto walk = [&](auto&& emit) {
    size_t i = 0;
    while (i < count) {
      uint32_t value = units[i];
      if (value >= 0xD800 && value <= 0xDFFF) {
        if (i + 1 >= count) break;
        value = (((value & 0x3FF) << 10) | (static_cast<uint32_t>(units[i + 1]) & 0x3FF)) + 0x10000;
        i += 2;
      } else {
        ++i;
      }
      emit(value);
    }
  };
  size_t bytes = 0;
  walk([&](uint32_t value) {
    bytes += value < 0x80 ? 1 : value < 0x800 ? 2 : value >= 0x10000 ? 4 : 3;
  });
  std::string out;
  out.reserve(bytes);
  walk([&](uint32_t value) {
    if (value < 0x80) {
      out.push_back(static_cast<char>(value));
    } else if (value < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (value >> 6)));
      out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else if (value >= 0x10000) {
      out.push_back(static_cast<char>(0xF0 | (value >> 18)));
      out.push_back(static_cast<char>(0x80 | ((value >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (value >> 12)));
      out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (value & 0x3F)));
    }
  });
  return out;
}

std::u16string MarkupUtf8ToUtf16(const std::string& text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const size_t size = text.size();
  // First pass: the unit count; second pass: the units.
  auto walk = [&](auto&& emit) {
    size_t i = 0;
    while (i < size) {
      const unsigned lead = bytes[i];
      if (lead < 0x80) {
        emit(lead);
        ++i;
        continue;
      }
      int following;
      uint32_t value;
      if (!(lead & 0x20)) {
        following = 1;
        value = lead & 0x1F;
      } else if (lead & 0x10) {
        following = 3;
        value = lead & 0x07;
      } else {
        following = 2;
        value = lead & 0x0F;
      }
      size_t at = i + 1;
      bool cut = false;
      for (int k = 0; k < following; ++k, ++at) {
        if (at >= size || !(bytes[at] & 0x80)) {
          cut = true;
          break;
        }
        value = (value << 6) | (bytes[at] & 0x3F);
      }
      i = at;  // a cut sequence resumes at the offending byte
      if (cut) {
        emit(uint32_t{'?'});
      } else if (value > 0xFFFF) {
        value -= 0x10000;
        emit(0xD800 | ((value >> 10) & 0x3FF));
        emit(0xDC00 | (value & 0x3FF));
      } else {
        emit(value);
      }
    }
  };
  size_t units = 0;
  walk([&](uint32_t) { ++units; });
  std::u16string out;
  out.reserve(units);
  walk([&](uint32_t unit) { out.push_back(static_cast<char16_t>(unit)); });
  return out;
}

bool CMarkupSTL::Load(const char* path) {
  Stream stream = OpenForReading(path);
  if (!stream) {
    mError = LastSystemMessage();
    return false;
  }
  platform::FileInfo info;
  if (!platform::GetStreamInfo(stream.get(), &info)) {
    mError = LastSystemMessage();
    return false;
  }
  if (info.kind == platform::FileKind::Folder) {
    mError = SystemMessage(platform::Error::IsFolder);
    return false;
  }
  if (info.size > static_cast<uint64_t>(std::numeric_limits<int32_t>::max() - 2)) {
    mError = SystemMessage(platform::Error::TooLarge);
    return false;
  }
  const size_t size = static_cast<size_t>(info.size);

  std::string bytes(size, '\0');
  platform::SetErrorCode(0);
  if (size > 0 && std::fread(bytes.data(), 1, size, stream.get()) != size) {
    mError = LastSystemMessage();
    return false;
  }
  stream.reset();

  if (size > 2 && static_cast<unsigned char>(bytes[0]) == kByteOrderMark[0] &&
      static_cast<unsigned char>(bytes[1]) == kByteOrderMark[1]) {
    mFlags |= UnicodeFile;
    const size_t count = size / 2 - 1;
    std::vector<char16_t> units(count);
    for (size_t i = 0; i < count; ++i) {
      const auto low = static_cast<unsigned char>(bytes[2 + 2 * i]);
      const auto high = static_cast<unsigned char>(bytes[3 + 2 * i]);
      units[i] = static_cast<char16_t>(low | (high << 8));
    }
    mDocument = MarkupUtf16ToUtf8(units.data(), count);
    mError = Format("BOM + %lld wide chars to %lld bytes", static_cast<long long>(count),
                    static_cast<long long>(mDocument.size()));
  } else {
    mFlags &= ~UnicodeFile;
    mDocument = std::move(bytes);
    mError = Format("%lld bytes", static_cast<long long>(size));
  }
  return ParseDocument();
}

bool CMarkupSTL::Load(const std::u16string& path) {
  std::string narrow;
  util::WideToUtf8(path, &narrow);  // empty for an empty or ill-formed path
  return Load(narrow.c_str());
}

bool CMarkupSTL::Save(const char* path) {
  Stream stream = OpenForWriting(path);
  if (!stream) {
    mError = LastSystemMessage();
    return false;
  }
  if (mDocument.empty()) {
    if (CloseWritten(stream)) return true;
    mError = LastSystemMessage();
    return false;
  }

  platform::SetErrorCode(0);
  if (!(mFlags & UnicodeFile)) {
    const bool written =
        std::fwrite(mDocument.data(), 1, mDocument.size(), stream.get()) == mDocument.size() &&
        CloseWritten(stream);
    mError = written ? Format("%lld bytes", static_cast<long long>(mDocument.size()))
                     : LastSystemMessage();
    return written;
  }

  bool written = std::fwrite(kByteOrderMark, 1, 2, stream.get()) == 2;
  if (written) {
    const std::u16string units = MarkupUtf8ToUtf16(mDocument);
    std::string bytes(units.size() * 2, '\0');
    for (size_t i = 0; i < units.size(); ++i) {
      bytes[2 * i] = static_cast<char>(units[i] & 0xFF);
      bytes[2 * i + 1] = static_cast<char>(units[i] >> 8);
    }
    written = std::fwrite(bytes.data(), 1, bytes.size(), stream.get()) == bytes.size() &&
              CloseWritten(stream);
    if (written) {
      mError =
          Format("%lld bytes to BOM + %lld wide chars", static_cast<long long>(mDocument.size()),
                 static_cast<long long>(units.size()));
      return true;
    }
  }
  mError = LastSystemMessage();
  return false;
}

}  // namespace corvel::markup
