// Where tag files live and how they are put there: the machine-wide tag directory
// (<common application data>/<TagEntityRegid>), the file names with and without a locale,
// taking over a locale-less tag for a locale, and storing new and updated tags.
//
// The tag directory is writable by every user, so nothing here follows a symbolic link
// planted under a tag file's name: existence is tested with lstat, files are opened with
// O_NOFOLLOW and created with O_EXCL after an unlink, and the locale-less tag is renamed
// with renameat2(RENAME_NOREPLACE).
#pragma once

#include <cstdint>
#include <string>

#include "markup/markup_document.h"
#include "swtag/swtag_record.h"

namespace corvel::swtag {

inline constexpr const char* kTagFileExtension = ".swidtag";

// Fills the record's tag path with the tag directory, creating it (and the common application
// data folder) when missing and giving it the access rules. False when there is none.
bool DiscoverTagDirectory(SwTagRecord& record);

// Names the record's files for the product code and locale, takes over a locale-less tag when
// a locale is given, reads an existing tag and sets the identity fields. Gives 0, or 260 when
// the record has no tag directory. The product code and locale must hold no path separator.
uint16_t PlaceTag(SwTagRecord& record, const char* productName, const char* productCode,
                  const char* locale, uint32_t caller);

// Replaces whatever stands at the tag path by the (well-formed, new) document and gives the
// new file the access rules.
void StoreNewTag(SwTagRecord& record, const markup::CMarkupSTL& document);

// Writes the record's document back to the tag path in the form it was found in. The file is
// rewritten in place and keeps its access rules; when it cannot be rewritten safely (a link
// or a file with other hard links stands there now) a new file replaces it.
void SaveUpdatedTag(SwTagRecord& record);

}  // namespace corvel::swtag
