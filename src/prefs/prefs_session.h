// One session with the preferences store: InitPrefs on construction, UninitPrefs on
// destruction, so every path out of an access closes what it opened.
#pragma once

#include "prefs/secure_prefs.h"

namespace corvel::prefs {

class PrefsSession {
 public:
  PrefsSession() noexcept { InitPrefs(); }
  ~PrefsSession() { UninitPrefs(); }

  PrefsSession(const PrefsSession&) = delete;
  PrefsSession& operator=(const PrefsSession&) = delete;
};

}  // namespace corvel::prefs
