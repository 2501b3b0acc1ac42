// PENDING: a weak placeholder for CommitInstallationRecords, which src/records defines; its
// definition replaces this one at link time, and the records change deletes this file. The
// placeholder writes nothing, because no operation fills the record fields without it.
#include "frame/commit_records.h"

namespace corvel::frame {

__attribute__((weak)) void CommitInstallationRecords(TAVLibImpl& /*instance*/,
                                                     ZEPHandle /*store*/) {}

}  // namespace corvel::frame
