#pragma once
// The context menu of a one-line edit box as Windows shows it in Czech: its commands in their
// order, their captions with the accelerator letter after "&", the separators, and when each
// command can be chosen. A window builds the menu from this with its own toolkit.
#include <array>

namespace vorlend {

enum class EditCommand { Undo, Redo, Cut, Copy, Paste, Delete, SelectAll };

struct EditMenuItem {
  EditCommand command;
  const char* caption;   // "&Zpět": the letter after "&" chooses the command from the keyboard
  bool separatorBefore;  // a line separates it from the command above
};

inline constexpr std::array<EditMenuItem, 7> kEditMenu{{
    {EditCommand::Undo, "&Zpět", false},
    {EditCommand::Redo, "Z&novu", false},
    {EditCommand::Cut, "&Vyjmout", true},
    {EditCommand::Copy, "&Kopírovat", false},
    {EditCommand::Paste, "V&ložit", false},
    {EditCommand::Delete, "&Odstranit", false},
    {EditCommand::SelectAll, "Vybrat &vše", true},
}};

// What the box is like when its menu opens.
struct EditBoxState {
  bool readOnly = false;
  bool hidesText = false;  // a password box: its text never leaves it
  bool canUndo = false;
  bool canRedo = false;
  bool hasSelection = false;
  bool allSelected = false;  // the whole text, and some, is selected
  bool empty = true;
  bool clipboardHasText = false;
};

// Whether the command can be chosen now; the others are shown greyed.
bool EditCommandEnabled(EditCommand command, const EditBoxState& box);

}  // namespace vorlend
