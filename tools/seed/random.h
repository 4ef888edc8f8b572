#pragma once
// The seeded random source of agenda-seed: the same seed gives the same data directory.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vorlend::seed {

class Random {
public:
  explicit Random(std::uint32_t seed) : m_engine(seed) {}
  // A number from 0 to n - 1.
  std::uint32_t Below(std::uint32_t n) { return n ? static_cast<std::uint32_t>(m_engine() % n) : 0; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[Below(static_cast<std::uint32_t>(items.size()))];
  }
  template <typename T>
  void Shuffle(std::vector<T>& items) {
    for (std::size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[Below(static_cast<std::uint32_t>(i))]);
  }

private:
  std::mt19937 m_engine;
};

}  // namespace vorlend::seed
