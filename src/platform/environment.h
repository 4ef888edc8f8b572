#pragma once
#include <string>

namespace vorlend {

// USERNAME, else USER, else the account name of the effective user.
std::string CurrentUserName();

// The vendor's web server: the build setting, overridden by VORLEND_VENDOR_URL; no trailing "/".
std::string VendorBaseUrl();
// The vendor's page of add-ons ("stáhnout zde").
std::string VendorAddOnsPageUrl();

}  // namespace vorlend
