// The record-writing part of the commit: the agreement, install locale, payload clean-up,
// account and extended-profile records an instance gathered, written on the commit's store
// handle inside its transaction. The records subsystem defines it.
#pragma once

#include "zepservices.h"

namespace corvel::frame {

class TAVLibImpl;

void CommitInstallationRecords(TAVLibImpl& instance, ZEPHandle store);

}  // namespace corvel::frame
