// The tagging drivers of an instance: tagging a product at install, from its driver payload,
// and tagging the running product at commit.
#pragma once

#include <cstdint>

namespace corvel::frame {
class TAVLibImpl;
}

namespace corvel::swtag {

// The operation behind Corvel_TAVLib_ISOTaggingAtInstall: 0, or 10 when the transaction of
// its reads did not commit.
uint32_t ISOTaggingAtInstall(frame::TAVLibImpl& instance, const char* payloadCode);

// Tags the running product (the commit calls it with two nulls when tagging is pending and
// not suppressed); an override replaces the application's product code or locale.
void DoISOTagging(frame::TAVLibImpl& instance, const char* productCodeOverride,
                  const char* localeOverride);

}  // namespace corvel::swtag
