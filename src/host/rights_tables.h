#pragma once
// Writes Money's access-rights tables into a data directory, for the tools that build a data
// directory to work on and for tests: the old model (PRISTUP, PRISTUP2) or the new model
// (PRISUZIV, whose "PrisUziv.dat" marks the model, and optionally PRISPOL). The tables must not
// exist yet.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vorlend {

struct RightsUser {
  std::int32_t ID = 1;     // "ID" (old model), "ID_Pristup" and PRISPOL's "FL_Pristup" (new)
  std::string Name;        // "Jmeno"
  std::string Password;    // as the user types it; the old model stores it scrambled
  std::string osAccount;   // "UzivOS" (new model)
  bool osLogin = true;     // "PrihlZp" (new model): may log in by the system account
  std::string ConfigName;  // "KonfigName"
  std::string note;        // "Poznamka"
  bool VisPorCenu = true;
  bool UzamceniDo = true;
  bool ZobrAkce = true;
  std::string level = "A";                    // code of every level right not named in Levels
  std::map<std::string, std::string> levels;  // code by right name
  std::vector<std::string> missingItems;      // new model: level rights left without a PRISPOL record
  bool WithPristup2 = true;                   // old model: write the user's PRISTUP2 record
};

// Each returns an error text, or nothing on success. An empty user list writes empty tables.
std::optional<std::string> WriteOldModelRights(const std::string& dataDir, const std::vector<RightsUser>& users);
std::optional<std::string> WriteNewModelRights(const std::string& dataDir, const std::vector<RightsUser>& users,
                                               bool withPrispol);

}  // namespace vorlend
