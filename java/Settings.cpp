#include "app/ConsoleDialog.h"

#include "framework/Text.h"

void ConsoleDialog::LoadSettings() {}
void ConsoleDialog::SaveJavaExe() {}
void ConsoleDialog::SaveHideOnStartup() {}
