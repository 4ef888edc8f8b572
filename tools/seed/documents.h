#pragma once
// The eight document tables of an accounting year, filled with plausible documents.
#include <string>
#include <vector>

#include "seed/random.h"

namespace vorlend::seed {

struct DocumentTable {
  const char* table;
  const char* keyField;
  const char* description;  // what the documents are, for their "Popis"
};

const std::vector<DocumentTable>& DocumentTables();

struct DocumentOptions {
  int yearName = 2024;  // documents are dated within this year
  int documents = 200;
  int lockedPercent = 30;
};

// Creates yearDir + table name (".DAT" and ".DIA") with its documents: unique 32-bit keys,
// written in shuffled order so that record order differs from key order, and the chosen share
// of them locked. Returns an error text, empty on success.
std::string WriteDocumentTable(const std::string& yearDir, const DocumentTable& table, const DocumentOptions& options,
                               Random& random);

}  // namespace vorlend::seed
