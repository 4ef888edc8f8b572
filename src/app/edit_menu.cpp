#include "app/edit_menu.h"

namespace vorlend {

bool EditCommandEnabled(EditCommand command, const EditBoxState& box) {
  switch (command) {
    case EditCommand::Undo:
      return !box.readOnly && box.canUndo;
    case EditCommand::Redo:
      return !box.readOnly && box.canRedo;
    case EditCommand::Cut:
      return !box.readOnly && !box.hidesText && box.hasSelection;
    case EditCommand::Copy:
      return !box.hidesText && box.hasSelection;
    case EditCommand::Paste:
      return !box.readOnly && box.clipboardHasText;
    case EditCommand::Delete:
      return !box.readOnly && box.hasSelection;
    case EditCommand::SelectAll:
      return !box.empty && !box.allSelected;
  }
  return false;
}

}  // namespace vorlend
