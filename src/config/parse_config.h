// The configuration document reader: walks a product configuration document hive by hive
// and hands every entry to a caller-supplied handler, rewrites the code of a document's
// Payload hive, and opens configuration files by UTF-8 path.
//
// Document form (names compared case-sensitively):
//   <Configuration>                                  root, required
//     <Payload corvelCode="..."> <Data key="k" protected="0">value</Data> ... </Payload>
//     <Other defaultCorvelCode="..."> ... </Other>   zero or more
//   </Configuration>
// Children are matched by node name whatever the node's kind, so a comment whose text is
// "Payload", "Other" or "Data" is matched too and then fails the element test.
//
// Every diagnostic goes to standard error and starts with "parseconfig: ".
#pragma once

#include <cstdio>
#include <memory>

class TiXmlDocument;

namespace corvel::config {

// Called once per entry. `subdomain` is the hive's code and may be null; `value` is never
// null except in the reverse "PayloadCode" entry of a hive without code. `is_protected` is
// non-zero unless the Data element says protected="0". Returns 0 to go on, anything else
// to stop the walk (which then still counts as a success).
using ConfigurationEntryHandler = int (*)(void* context, const char* subdomain, const char* key,
                                          const char* value, int is_protected);

// The reverse entry written for every "LicensingCode" entry goes under the entry's value;
// that value is held in a buffer of this size, so longer values are rejected as a parse error.
constexpr size_t kReverseSubdomainBufferSize = 128;

// Walks the document at `path` ("-": standard input). A null handler only checks the
// document. With `quiet` set, no message is printed except the character-conversion lines of
// OpenConfigurationFile. Returns 0 when every hive was read or the handler stopped the walk,
// -1 on any failure. The input is closed before returning, standard input included.
int parseconfig(const char* path, ConfigurationEntryHandler handler, void* context, int quiet);

// The walk of parseconfig over a stream that is already open (and stays open).
int WalkConfigurationStream(FILE* stream, ConfigurationEntryHandler handler, void* context,
                            int quiet);

// Sets `corvelCode` of the document's Payload hive to `code` and writes the document back
// ("-": read standard input, write standard output). Returns 0 when rewritten, 1 when
// writing failed, -1 for every other failure (the file is then left untouched).
int SetConfigurationPayloadCode(const char* path, const char* code);

// The document that a rewrite saved to a file, kept when a quiet walk of it in memory hands
// over exactly what a quiet walk of the file hands over: the file is a regular file, and both
// the document's text and the code are plain (plain_document.h). Empty otherwise.
class RewrittenDocument {
 public:
  RewrittenDocument();
  ~RewrittenDocument();
  RewrittenDocument(const RewrittenDocument&) = delete;
  RewrittenDocument& operator=(const RewrittenDocument&) = delete;

  bool kept() const { return mDocument != nullptr; }

 private:
  friend int SetConfigurationPayloadCode(const char*, const char*, RewrittenDocument*);
  friend int WalkRewrittenConfiguration(const char*, const RewrittenDocument&,
                                        ConfigurationEntryHandler, void*);
  std::unique_ptr<TiXmlDocument> mDocument;
};

// SetConfigurationPayloadCode, which on success also hands the document over to `kept` when
// it may be walked in memory.
int SetConfigurationPayloadCode(const char* path, const char* code, RewrittenDocument* kept);

// The quiet walk of the document that SetConfigurationPayloadCode rewrote at `path`: over the
// kept document when there is one, else over the file, as parseconfig(path, ..., 1) does.
int WalkRewrittenConfiguration(const char* path, const RewrittenDocument& kept,
                               ConfigurationEntryHandler handler, void* context);

// Opens a file by UTF-8 path. Path and mode must each convert to UTF-16 within 260 wide
// characters (terminator included); otherwise the conversion failure is printed on standard
// error (always, whatever the caller's quiet setting) and null returned with the platform's
// last error Invalid. A folder is never opened as a file (null, last error IsFolder).
FILE* OpenConfigurationFile(const char* path, const char* mode);

}  // namespace corvel::config
