#include "host/s3access_rights.h"

#include "host/password.h"
#include "platform/environment.h"
#include "platform/files.h"

namespace vorlend {

namespace {

using K = RightKind;
using T = OldRightsTable;

const std::array<AccessRightDef, kAccessRightCount> kDefs = {{
    {AccessRight::VystaveneFaktury, "VystaveneFaktury", K::Level, "VystaveneF", T::Pristup},
    {AccessRight::SzSkladDokladu, "SzSkladDokladu", K::Level, "SzSkladDok", T::Pristup},
    {AccessRight::PristupovaPrava, "PristupovaPrava", K::Level, "Pristupova", T::Pristup},
    {AccessRight::JUPDTisk, "JUPDTisk", K::Level, "JUPDTisk", T::Pristup},
    {AccessRight::ElObch, "ElObch", K::Level, "Elektronic", T::Pristup},
    {AccessRight::VisPorCenu, "VisPorCenu", K::Boolean, "VisPorCenu", T::Pristup},
    {AccessRight::UzamceniDo, "UzamceniDo", K::Boolean, "UzamceniDo", T::Pristup},
    {AccessRight::SeznamPrijatychObjed, "SeznamPrijatychObjed", K::Level, "SeznamPrij", T::Pristup},
    {AccessRight::SeznamNabidek, "SeznamNabidek", K::Level, "SeznamNabi", T::Pristup},
    {AccessRight::SeznamPPop, "SeznamPPop", K::Level, "SeznamPPop", T::Pristup2},
    {AccessRight::SeznamVPop, "SeznamVPop", K::Level, "SeznamVPop", T::Pristup2},
    {AccessRight::SeznamVystavenychObj, "SeznamVystavenychObj", K::Level, "SeznamVyst", T::Pristup},
    {AccessRight::SeznamPNab, "SeznamPNab", K::Level, "SeznamPNab", T::Pristup2},
    {AccessRight::SkPrehledoveSestavy, "SkPrehledoveSestavy", K::Level, "SkPrehledo", T::Pristup},
    {AccessRight::Verifikace, "Verifikace", K::Level, "Verifikace", T::Pristup},
    {AccessRight::SeznamPokladnichDokl, "SeznamPokladnichDokl", K::Level, "SeznamPokl", T::Pristup},
    {AccessRight::JUSzPkDok, "JUSzPkDok", K::Level, "JUSzPkDok", T::Pristup},
    {AccessRight::SeznamBankovnichDokl, "SeznamBankovnichDokl", K::Level, "SeznamBank", T::Pristup},
    {AccessRight::JUSeznamBankovnichDo, "JUSeznamBankovnichDo", K::Level, "JUSeznamBa", T::Pristup},
    {AccessRight::SeznamZavazku, "SeznamZavazku", K::Level, "SeznamZava", T::Pristup},
    {AccessRight::JUSeznamZavazku, "JUSeznamZavazku", K::Level, "JUSeznamZa", T::Pristup},
    {AccessRight::SeznamPohledavek, "SeznamPohledavek", K::Level, "SeznamPohl", T::Pristup},
    {AccessRight::JUSzPohled, "JUSzPohled", K::Level, "JUSzPohled", T::Pristup},
    {AccessRight::InterniDoklady, "InterniDoklady", K::Level, "InterniDok", T::Pristup},
    {AccessRight::JUInterniDoklady, "JUInterniDoklady", K::Level, "JUInterniD", T::Pristup2},
    {AccessRight::PrijateFaktury, "PrijateFaktury", K::Level, "PrijateFak", T::Pristup},
    {AccessRight::ZobrAkce, "ZobrAkce", K::Boolean, "ZobrAkce", T::Pristup},
    {AccessRight::KonfUdZas, "KonfUdZas", K::Level, "KonfUdZas", T::Pristup2},
    {AccessRight::Vysledovka, "Vysledovka", K::Level, "Vysledovka", T::Pristup},
    {AccessRight::KUhradDluz, "KUhradDluz", K::Level, "KUhradDluz", T::Pristup},
    {AccessRight::JUKUhradDluz, "JUKUhradDluz", K::Level, "JUKUhradDl", T::Pristup},
}};

constexpr std::uint8_t kHighestLevel = 2;
constexpr const char* kOpenErrorText = "Nastala chyba při otevírání databáze ";
constexpr const char* kIndexErrorText = "Nastala chyba při nastavení indexu databáze ";

// Field values that do not convert fail the load as the table component's own errors do.
bool BoolField(TBFTable& table, const char* field) {
  bool b = false;
  if (!table.Value(field).ToBool(b))
    throw HostError(std::string("Hodnotu pole ") + field + " nelze převést na logickou hodnotu.");
  return b;
}

std::int32_t IntField(TBFTable& table, const char* field) {
  std::int32_t i = 0;
  if (!table.Value(field).ToInt(i))
    throw HostError(std::string("Hodnotu pole ") + field + " nelze převést na celé číslo.");
  return i;
}

double NumberField(TBFTable& table, const char* field) {
  double d = 0;
  if (!table.Value(field).ToDouble(d))
    throw HostError(std::string("Hodnotu pole ") + field + " nelze převést na číslo.");
  return d;
}

std::string TextField(TBFTable& table, const char* field) {
  return table.Value(field).ToString();
}

// Closes the tables on every way out of a load, exceptions included.
template <class F>
struct OnExit {
  F f;
  ~OnExit() { f(); }
};
template <class F>
OnExit(F) -> OnExit<F>;

}  // namespace

const std::array<AccessRightDef, kAccessRightCount>& AccessRightDefs() {
  static_assert(static_cast<std::size_t>(AccessRight::JUKUhradDluz) + 1 == kAccessRightCount);
  return kDefs;
}

const AccessRightDef* FindAccessRight(std::string_view name) {
  for (const AccessRightDef& def : kDefs)
    if (name == def.name) return &def;
  return nullptr;
}

std::uint8_t RightLevel(const std::string& code) {
  if (code == "A") return 2;
  if (code == "R") return 1;
  return 0;
}

TS3AccessRights::TS3AccessRights(const std::string& dataDir)
    : m_dataDir(dataDir), m_oldModel(!FileExists(dataDir + "PrisUziv.dat")) {}

TS3AccessRights::~TS3AccessRights() {
  CloseTables();
}

int TS3AccessRights::Right(std::string_view name) const {
  const AccessRightDef* def = FindAccessRight(name);
  return def ? Right(def->right) : -1;
}

bool TS3AccessRights::LoadUserRights(const std::string& password) {
  m_lastError.clear();
  bool result = false;
  if (!OpenTables()) return false;
  OnExit close{[this] { CloseTables(); }};

  if (Users().RecCount() <= 0) {
    SetUnnamedUser();
    return true;
  }
  SetAllRights(false);
  if (m_oldModel || !password.empty()) {
    if (FindUserByPassword(password)) {
      ReadUserRights();
      result = true;
    }
  } else {
    switch (IdentifyByAccount()) {
      case Identification::Identified:
        result = true;
        break;
      case Identification::NotIdentified:
        m_lastError = kUserNotFoundText;
        break;
      case Identification::Failed:
        break;
    }
  }
  return result;
}

bool TS3AccessRights::OpenOne(std::unique_ptr<TBFTable>& table, bool& open, const char* name, const char* order) {
  const std::string path = m_dataDir + name;
  table = std::make_unique<TBFTable>();
  if (table->OpenTable(path) != 0) {
    m_lastError = kOpenErrorText + TableFileText(path);
    return false;
  }
  open = true;
  if (order && table->SetOrder(order) != 0) {
    m_lastError = kIndexErrorText + TableFileText(path);
    return false;
  }
  return true;
}

bool TS3AccessRights::OpenTables() {
  CloseTables();
  bool ok;
  if (m_oldModel) {
    ok = OpenOne(m_pristup, m_pristupOpen, "PRISTUP", "Jmeno") &&
         OpenOne(m_pristup2, m_pristup2Open, "PRISTUP2", nullptr);
  } else {
    ok = OpenOne(m_prisuziv, m_prisuzivOpen, "PRISUZIV", "Jmeno");
    // Without PRISPOL every level right counts as granted.
    if (ok && FileExists(m_dataDir + "PRISPOL" + ".DAT"))
      ok = OpenOne(m_prispol, m_prispolOpen, "PRISPOL", "FL_Pristup+Polozka");
  }
  if (!ok) CloseTables();
  return ok;
}

void TS3AccessRights::CloseTables() {
  const auto close = [](std::unique_ptr<TBFTable>& table, bool& open) {
    if (!table) return;
    if (open) table->CloseTable();
    open = false;
    table.reset();
  };
  close(m_pristup, m_pristupOpen);
  close(m_pristup2, m_pristup2Open);
  close(m_prisuziv, m_prisuzivOpen);
  close(m_prispol, m_prispolOpen);
}

TBFTable& TS3AccessRights::Users() {
  return m_oldModel ? *m_pristup : *m_prisuziv;
}

void TS3AccessRights::SetAllRights(bool highest) {
  for (const AccessRightDef& def : kDefs) {
    const std::uint8_t value = !highest ? 0 : def.kind == RightKind::Level ? kHighestLevel : 1;
    m_rights[static_cast<std::size_t>(def.right)] = value;
  }
}

void TS3AccessRights::SetUnnamedUser() {
  SetAllRights(true);
  m_userConfigName.clear();
  m_userName = kUnnamedUserName;
  m_userID = 0;
  m_userNote.clear();
  // The unnamed user has no password; the previous load's must not stay behind.
  m_userPasswordText.clear();
}

void TS3AccessRights::SetIndexError(const char* table) {
  m_lastError = kIndexErrorText + TableFileText(m_dataDir + table);
}

bool TS3AccessRights::FindUserByPassword(const std::string& password) {
  return m_oldModel ? FindOldModelUser(password) : FindNewModelUser(password);
}

bool TS3AccessRights::FindOldModelUser(const std::string& password) {
  TBFTable& users = *m_pristup;
  if (users.SetOrder("Password") != 0) {
    SetIndexError("PRISTUP");
    return false;
  }
  const std::string stored = ScramblePassword(password);
  bool found = false;
  for (static_cast<void>(users.GoTop()); !users.IsEof(); users.Skip()) {
    if (TextField(users, "Password") == stored) {
      found = true;
      break;
    }
  }
  if (!found) {
    m_lastError = kUserNotFoundText;
    return false;
  }

  // The user's second record carries the same password, as stored.
  const std::string userPassword = TextField(users, "Password");
  TBFTable& second = *m_pristup2;
  for (static_cast<void>(second.GoTop()); !second.IsEof(); second.Skip()) {
    if (TextField(second, "Password") == userPassword) return true;
  }
  m_lastError =
      "Interní chyba - uživatel ID " + std::to_string(IntField(users, "ID")) + " nebyl nalezen v databázi PRISTUP2.";
  return false;
}

bool TS3AccessRights::FindNewModelUser(const std::string& password) {
  TBFTable& users = *m_prisuziv;
  if (users.SetOrder("Password") != 0) {
    SetIndexError("PRISUZIV");
    return false;
  }
  // The new model keeps passwords as they are typed.
  if (users.Seek1(Variant::FromString(password)) == kSeekFound) return true;
  m_lastError = kUserNotFoundText;
  return false;
}

TS3AccessRights::Identification TS3AccessRights::IdentifyByAccount() {
  if (!OpenTables()) return Identification::Failed;
  OnExit close{[this] { CloseTables(); }};
  TBFTable& users = *m_prisuziv;
  if (users.RecCount() <= 0) {
    SetUnnamedUser();
    return Identification::Identified;
  }
  SetAllRights(false);
  if (users.SetOrder("UzivOS") != 0) {
    SetIndexError("PRISUZIV");
    return Identification::Failed;
  }
  // Money lets a user in by the system account only where that user's record allows it.
  if (users.Seek1(Variant::FromString(CurrentUserName())) != kSeekFound || NumberField(users, "PrihlZp") == 0)
    return Identification::NotIdentified;
  ReadUserRights();
  return Identification::Identified;
}

void TS3AccessRights::ReadUserRights() {
  if (m_oldModel) {
    TBFTable& users = *m_pristup;
    m_userConfigName = TextField(users, "KonfigName");
    m_userName = TextField(users, "Jmeno");
    m_userID = IntField(users, "ID");
    m_userNote = TextField(users, "Poznamka");
    m_userPasswordText = ScramblePassword(TextField(users, "Password"));
    for (const AccessRightDef& def : kDefs) {
      TBFTable& table = def.oldTable == OldRightsTable::Pristup ? users : *m_pristup2;
      m_rights[static_cast<std::size_t>(def.right)] =
          def.kind == RightKind::Level ? RightLevel(TextField(table, def.oldField)) : BoolField(table, def.oldField);
    }
    return;
  }
  TBFTable& users = *m_prisuziv;
  m_userConfigName = TextField(users, "KonfigName");
  m_userName = TextField(users, "Jmeno");
  m_userID = IntField(users, "ID_Pristup");
  m_userNote = TextField(users, "Poznamka");
  m_userPasswordText = TextField(users, "Password");
  for (const AccessRightDef& def : kDefs) {
    m_rights[static_cast<std::size_t>(def.right)] =
        def.kind == RightKind::Level ? RightLevel(ItemValue(m_userID, def.name)) : BoolField(users, def.name);
  }
}

std::string TS3AccessRights::ItemValue(std::int32_t id, const char* item) {
  if (!m_prispolOpen) return "A";
  if (m_prispol->SeekN({Variant::FromInt(id), Variant::FromString(item)}) != kSeekFound) return "A";
  return TextField(*m_prispol, "Hodnota");
}

}  // namespace vorlend
