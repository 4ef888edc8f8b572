#include "platform/environment.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#ifndef VORLEND_VENDOR_URL_DEFAULT
#define VORLEND_VENDOR_URL_DEFAULT "http://www.vendor.example"
#endif

namespace vorlend {

std::string CurrentUserName() {
  for (const char* var : {"USERNAME", "USER"}) {
    const char* v = std::getenv(var);
    if (v && *v) return v;
  }
  if (const passwd* pw = ::getpwuid(::geteuid())) return pw->pw_name;
  return {};
}

std::string VendorBaseUrl() {
  const char* v = std::getenv("VORLEND_VENDOR_URL");
  std::string url = (v && *v) ? v : VORLEND_VENDOR_URL_DEFAULT;
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

std::string VendorAddOnsPageUrl() { return VendorBaseUrl() + "/tarvell"; }

}  // namespace vorlend
