// PENDING: a weak placeholder for TAVLibImpl::DoISOTagging, which src/swtag defines; its
// definition replaces this one at link time, and the tagging change deletes this file. The
// placeholder tags nothing and writes nothing.
#include "frame/tavlib_impl.h"

namespace corvel::frame {

__attribute__((weak)) void TAVLibImpl::DoISOTagging(const char* /*productCodeOverride*/,
                                                    const char* /*localeOverride*/) {}

}  // namespace corvel::frame
