// The checks a UTF-8 path passes before it reaches the operating system. The Windows form
// converts every path to UTF-16 into a buffer of kPathBufferSize wide characters; the same
// conversion is done here as a validity and length check, so a path fails on this system
// exactly where it would fail there.
#pragma once

#include <cstddef>
#include <string>

namespace corvel::util {

// True when `path` is non-null, not empty, well-formed UTF-8 and its UTF-16 form, with the
// terminator, fits a buffer of kPathBufferSize wide characters.
bool IsUsablePath(const char* path);
bool IsUsablePath(const std::string& path);

// True when `text` converts to UTF-16 in strict mode.
bool IsWellFormedUtf8(const std::string& text);

// Copies a path the system produced into a caller buffer of `size` bytes. Fails (null, the
// buffer emptied when there is one) when the path is empty, is not a usable path, or does
// not fit with its terminator.
char* CopyPathOut(char* out, size_t size, const std::string& path);

// The folder part of a path: everything before its last "/", with the "/" removed; "" when
// the path has no "/" or only a leading one.
std::string FolderPart(const std::string& path);

}  // namespace corvel::util
