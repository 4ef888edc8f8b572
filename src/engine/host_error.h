#pragma once
// The error the host table component raises: a failed call, a field that does not exist, a value
// that does not fit its field.
#include <stdexcept>
#include <string>

namespace vorlend {

class HostError : public std::runtime_error {
public:
  explicit HostError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace vorlend
