// The secure preferences exports: get and set a value from C. They need no instance; each
// call is one session with the store, and no exception leaves it.
#include "corvel_tavlib.h"
#include "prefs/prefs_session.h"
#include "prefs/secure_prefs.h"

namespace {

using namespace corvel::prefs;

constexpr bool SameResult(int c_result, PrefsResult store_result) { return c_result == store_result; }

static_assert(SameResult(kTAVLibPrefSuccess, kPrefsSuccess) &&
              SameResult(kTAVLibPrefFailed, kPrefsFailed) &&
              SameResult(kTAVLibPrefNoFile, kPrefsNoFile) &&
              SameResult(kTAVLibPrefInvalidArgument, kPrefsInvalidArgument) &&
              SameResult(kTAVLibPrefBufferTooSmall, kPrefsBufferTooSmall) &&
              SameResult(kTAVLibPrefCannotWriteFile, kPrefsCannotWriteFile) &&
              SameResult(kTAVLibPrefCannotCreateFolder, kPrefsCannotCreateFolder),
              "the C results are the store's results");

}  // namespace

extern "C" {

CORVEL_TAVLIB_API int32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_GetSecurePreference(
    const char* domain, const char* key, char* buffer, uint32_t* size, const char* prefsFilePath) {
  PrefsSession session;
  return GetPrefValue(domain, key, buffer, size, prefsFilePath);
}

CORVEL_TAVLIB_API int32_t CORVEL_TAVLIB_CALL Corvel_TAVLib_SetSecurePreference(
    const char* domain, const char* key, const char* value, const char* prefsFilePath) {
  PrefsSession session;
  return SetPrefValue(domain, key, value, prefsFilePath);
}

}  // extern "C"
