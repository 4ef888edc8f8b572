// make-template TARGET: writes the empty template table (TARGET, e.g. ".../Pattern/DB1.DAT", and
// its ".DIA") that every lock archive table is copied from. Fields "ID" (integer, indexed "ID")
// and "Lock" (boolean, the type of the documents' "Uzamceni"). An existing template is replaced.
#include <cstdio>
#include <string>

#include "engine/table_files.h"
#include "platform/files.h"

using namespace vorlend;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-template TARGET.DAT\n");
    return 2;
  }
  const std::string target = NormaliseInputPath(argv[1]);
  if (!ForceDirectories(ExtractFilePath(target))) {
    std::fprintf(stderr, "make-template: cannot create the directory of %s\n", target.c_str());
    return 1;
  }
  if (!engine::DeleteTableFiles(target)) {
    std::fprintf(stderr, "make-template: cannot replace %s\n", target.c_str());
    return 1;
  }
  const auto error =
      engine::CreateTable(target, {{"ID", engine::FieldType::Integer}, {"Lock", engine::FieldType::Boolean}}, {"ID"});
  if (error) {
    std::fprintf(stderr, "make-template: %s\n", error->c_str());
    return 1;
  }
  return 0;
}
