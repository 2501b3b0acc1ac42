// File and folder access by UTF-8 path. Every path is first checked as the Windows form
// would convert it to UTF-16 (well-formed, within 1024 units), then handed to the platform.
#pragma once

#include <cstdio>
#include <string>

#include "platform/platform.h"

namespace corvel::util {

constexpr size_t kPathBufferSize = 1024;

FILE* OpenFileUtf8(const char* path, const char* mode);   // null on failure
int StatUtf8(const char* path, platform::FileInfo* out);  // 0 on success
bool PathExistsUtf8(const char* path);
bool IsFolderUtf8(const char* path);
// 0, or -1 with the platform's last error (Error::Invalid for a bad path).
int MakeFolderUtf8(const char* path);
int RemoveFileUtf8(const char* path);

// The absolute form of `path` into a 1024-byte buffer; null on failure.
char* FullPathUtf8(char* out, size_t size, const char* path);
// The temporary folder without a trailing separator; null when there is none or it does not fit.
char* TempFolderPath(char* out, size_t size);
// Shared special folder by kind: 1 and 3 the common-files folder, 255 the shared
// application-data folder, any other the 32-bit common-files folder. Created when missing.
char* SpecialFolderPath(char* out, size_t size, int kind);
// SpecialFolderPath(kind) + "/Corvel", created when missing; null when it cannot be.
char* MakerFolderPath(char* out, size_t size, int kind);
char* ModuleFilePath(char* out, size_t size);
char* ModuleFolderPath(char* out, size_t size);
// The folder part of a path without a trailing separator, in one process-wide buffer of
// 6144 bytes that the next call overwrites; "" for a null or empty path.
const char* ParentFolderOf(const char* path);

// One line of a stream (CR, LF or CRLF ends it) into `buffer`; at most size - 1 characters
// kept, the rest of the line dropped. The count kept, or -1 at end of stream.
int ReadTextLine(FILE* stream, char* buffer, size_t size);

// Makes the template (ending in "XXXXXX") unique in place and opens it "w+b" without
// following links; returns the template or null, and the stream through `stream`.
char* CreateTempFile(char* path_template, FILE** stream);

}  // namespace corvel::util
