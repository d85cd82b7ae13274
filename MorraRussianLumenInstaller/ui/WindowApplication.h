#pragma once

#include <QStringList>

class QApplication;

namespace morra {

class DialogRunner;

// Readies the application object before any window exists: Russian everywhere (Qt's own texts
// from its Russian translation, Russian number formats), the program's icon, and nothing stored:
// the settings that Qt's own dialogs would keep (recent folders, the game's path) go nowhere.
void prepareApplication(QApplication& application);

// Points every settings file of the user's scope at a place where it can never be written.
void keepSettingsNowhere();

// Where Qt's Russian translation (qtbase_ru.qm) is looked for, in order: on macOS the application
// bundle's Contents/Resources/translations, then Qt's own translations folder.
QStringList qtTranslationFolders();

// Tells the player, in an alert run by `dialogs`, that the program cannot work because its
// resources cannot be found (and writes the fatal line on standard error, for a terminal). Returns
// the exit status of the program that then quits: 0, it has ended as the player asked.
int reportMissingResources(DialogRunner& dialogs);

// Runs the program as a desktop application with its one window, after the command line has
// named no operation; without its resources it only says so (reportMissingResources). Returns when
// the window has been closed (and any operation still running
// has finished its work); the result is the process's exit status.
int runWindowApplication(int argc, char** argv);

}  // namespace morra
