#include "platform/environment.h"

#include <cstdlib>

#ifndef VORLEND_VENDOR_URL_DEFAULT
#define VORLEND_VENDOR_URL_DEFAULT "http://www.vendor.example"
#endif

namespace vorlend {

std::string VendorBaseUrl() {
  const char* v = std::getenv("VORLEND_VENDOR_URL");
  std::string url = (v && *v) ? v : VORLEND_VENDOR_URL_DEFAULT;
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

std::string VendorAddOnsPageUrl() { return VendorBaseUrl() + "/tarvell"; }

}  // namespace vorlend
