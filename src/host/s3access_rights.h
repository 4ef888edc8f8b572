#pragma once
// TS3AccessRights: identifies the Money user on whose behalf the add-on runs and loads that
// user's access rights from Money's rights tables in the data directory. Money keeps them in one
// of two generations of tables:
//   old model  PRISTUP (users and most rights) and PRISTUP2 (the rest), passwords scrambled;
//   new model  PRISUZIV (users and the boolean rights) and the optional PRISPOL (one record per
//              user and level right); the file "PrisUziv.dat" marks this model.
// The tables are open only while LoadUserRights runs. Exceptions of the table component reach
// the caller.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "host/bftable.h"

namespace vorlend {

// The rights in Money's field order.
enum class AccessRight : std::uint8_t {
  VystaveneFaktury,
  SzSkladDokladu,
  PristupovaPrava,
  JUPDTisk,
  ElObch,
  VisPorCenu,
  UzamceniDo,
  SeznamPrijatychObjed,
  SeznamNabidek,
  SeznamPPop,
  SeznamVPop,
  SeznamVystavenychObj,
  SeznamPNab,
  SkPrehledoveSestavy,
  Verifikace,
  SeznamPokladnichDokl,
  JUSzPkDok,
  SeznamBankovnichDokl,
  JUSeznamBankovnichDo,
  SeznamZavazku,
  JUSeznamZavazku,
  SeznamPohledavek,
  JUSzPohled,
  InterniDoklady,
  JUInterniDoklady,
  PrijateFaktury,
  ZobrAkce,
  KonfUdZas,
  Vysledovka,
  KUhradDluz,
  JUKUhradDluz,
};
inline constexpr std::size_t kAccessRightCount = 31;

enum class RightKind { Level, Boolean };
enum class OldRightsTable { Pristup, Pristup2 };

struct AccessRightDef {
  AccessRight right;
  const char* name;      // the right's name: the new model's PRISPOL item or PRISUZIV field
  RightKind kind;        // a level 0..2 (2 highest) or a boolean
  const char* oldField;  // its field in the old model
  OldRightsTable oldTable;
};

// Every right, in field order.
const std::array<AccessRightDef, kAccessRightCount>& AccessRightDefs();
// The right of that name, compared exactly; nullptr when there is none.
const AccessRightDef* FindAccessRight(std::string_view name);

// Level of a right's code: "A" gives 2, "R" gives 1, any other text 0; compared exactly.
std::uint8_t RightLevel(const std::string& code);

inline constexpr const char* kUnnamedUserName = "uživatel bez jména";
inline constexpr const char* kUserNotFoundText = "Aktuální uživatel nebyl nalezen v databázi přístupových práv Money.";

class TS3AccessRights {
public:
  // `dataDir` ends with a separator. The model is fixed here, by the file "PrisUziv.dat".
  explicit TS3AccessRights(const std::string& dataDir);
  ~TS3AccessRights();
  TS3AccessRights(const TS3AccessRights&) = delete;
  TS3AccessRights& operator=(const TS3AccessRights&) = delete;

  // True when the user was identified, or the rights tables hold no user at all; the user fields
  // and rights are then loaded. False with the reason in LastError(). No table is open afterwards.
  bool LoadUserRights(const std::string& password);

  const std::string& DataDir() const { return m_dataDir; }
  const std::string& UserPasswordText() const { return m_userPasswordText; }
  const std::string& LastError() const { return m_lastError; }
  const std::string& UserConfigName() const { return m_userConfigName; }
  const std::string& UserName() const { return m_userName; }
  std::int32_t UserID() const { return m_userID; }
  const std::string& UserNote() const { return m_userNote; }
  bool OldModel() const { return m_oldModel; }

  // A level right 0..2, or a boolean right as 0 or 1.
  std::uint8_t Right(AccessRight right) const { return m_rights[static_cast<std::size_t>(right)]; }
  bool Granted(AccessRight right) const { return Right(right) != 0; }
  // The same by the right's name; -1 for a name that is no right.
  int Right(std::string_view name) const;

private:
  enum class Identification { Identified, NotIdentified, Failed };

  bool OpenTables();
  void CloseTables();
  bool OpenOne(std::unique_ptr<TBFTable>& table, bool& open, const char* name, const char* order);
  TBFTable& Users();
  void SetAllRights(bool highest);
  void SetUnnamedUser();
  bool FindUserByPassword(const std::string& password);
  bool FindOldModelUser(const std::string& password);
  bool FindNewModelUser(const std::string& password);
  Identification IdentifyByAccount();
  void ReadUserRights();
  std::string ItemValue(std::int32_t id, const char* item);
  void SetIndexError(const char* table);

  std::string m_dataDir;
  std::string m_userPasswordText;
  std::string m_lastError;
  std::string m_userConfigName;
  std::string m_userName;
  std::int32_t m_userID = 0;
  std::string m_userNote;
  std::unique_ptr<TBFTable> m_pristup;
  std::unique_ptr<TBFTable> m_pristup2;
  std::unique_ptr<TBFTable> m_prisuziv;
  std::unique_ptr<TBFTable> m_prispol;
  bool m_pristupOpen = false;
  bool m_pristup2Open = false;
  bool m_prisuzivOpen = false;
  bool m_prispolOpen = false;
  std::array<std::uint8_t, kAccessRightCount> m_rights{};
  bool m_oldModel = true;
};

}  // namespace vorlend
