// The commit at release: the installation records an instance gathered, written in one store
// transaction, then the tagging of the running product when it was asked for and not
// suppressed.
#pragma once

namespace corvel::frame {
class TAVLibImpl;
}

namespace corvel::capi {

// Runs once, from Corvel_TAVLib_ReleaseRef. With `commit` false it only logs its two lines.
void CommitPCD(frame::TAVLibImpl& instance, bool commit);

}  // namespace corvel::capi
