#pragma once
// The engine's table behind a TBFTable, for the tools and tests that need more than the host's
// table component offers. The add-on itself never reaches past the component.
#include "engine/table.h"
#include "host/bftable.h"

namespace vorlend {

// Throws HostError when nothing is open.
engine::Table& EngineTableOf(TBFTable& table);

}  // namespace vorlend
