#include "swtag/swtag_record.h"

#include "swtag/swtag_placement.h"

namespace corvel::swtag {

SwTagRecord::SwTagRecord() { mDirectoryOk = DiscoverTagDirectory(*this); }

}  // namespace corvel::swtag
