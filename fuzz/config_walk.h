// An entry the configuration walk hands its handler, as the two configuration targets keep it.
#pragma once

#include <string>

namespace corvel::fuzz {

struct Entry {
  bool hasSubdomain;
  std::string subdomain;
  std::string key;
  bool hasValue;
  std::string value;
  int isProtected;
  bool operator==(const Entry&) const = default;
};

inline Entry MakeEntry(const char* subdomain, const char* key, const char* value, int isProtected) {
  return {subdomain != nullptr, subdomain ? subdomain : "", key,
          value != nullptr,     value ? value : "",         isProtected};
}

}  // namespace corvel::fuzz
