#pragma once
#include <string>

namespace vorlend {

// An environment variable's value as UTF-8 (on Windows read as wide characters, never through the
// ANSI code page); empty when it is not set.
std::string EnvironmentVariable(const char* name);

// USERNAME, else USER, else the account name of the effective user.
std::string CurrentUserName();

// The id of this process.
int CurrentProcessId();
// True only when no process of that id runs now; one that cannot be asked counts as running.
bool ProcessGone(int pid);
// Standard error goes to a terminal (a console window on Windows), not to a file or a pipe.
bool StandardErrorIsTerminal();

// The vendor's web server: the build setting, overridden by VORLEND_VENDOR_URL; no trailing "/".
std::string VendorBaseUrl();
// The vendor's page of add-ons ("stáhnout zde").
std::string VendorAddOnsPageUrl();

}  // namespace vorlend
