#include "platform/environment.h"

#include <cstdlib>

#ifndef VORLEND_VENDOR_URL_DEFAULT
#define VORLEND_VENDOR_URL_DEFAULT "http://www.vendor.example"
#endif

namespace vorlend {

std::string VendorBaseUrl() {
  std::string url = EnvironmentVariable("VORLEND_VENDOR_URL");
  if (url.empty()) url = VORLEND_VENDOR_URL_DEFAULT;
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

std::string VendorAddOnsPageUrl() {
  return VendorBaseUrl() + "/tarvell";
}

}  // namespace vorlend
