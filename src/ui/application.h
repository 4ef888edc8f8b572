#pragma once
// What the program body sets up for the whole application once the QApplication exists and
// before the window is created.
namespace vorlend::ui {

void PrepareApplication();

}  // namespace vorlend::ui
