#pragma once

class QCoreApplication;

namespace tavrel {

// Qt's own Korean texts (file dialogs, message box buttons, context menus),
// from the system's Qt translations. The translator is the application's
// child. False when the catalogue is not installed; the texts stay English.
bool installKoreanQtTranslations(QCoreApplication& application);

}  // namespace tavrel
