#include "ui/main_window.h"

#include <QEvent>
#include <QMenuBar>

#include "store/cue_store.h"
#include "ui/content_view.h"
#include "ui/cue_menu.h"
#include "ui/held_key_filter.h"
#include "ui/media_folder_watcher.h"
#include "ui/tavrel_theme.h"

namespace tavrel {

MainWindow::MainWindow(std::shared_ptr<CueStore> store, const UiServices& services, QWidget* parent)
    : QMainWindow(parent),
      m_store(store),
      m_content(new ContentView(store, services, this)),
      m_commands(new CueKeyboardCommands(store, this)) {
    new HeldKeyFilter(this);
    new MediaFolderWatcher(store, this);
    setWindowTitle(QStringLiteral("Tavrel"));
    setMinimumSize(minimumWindowWidth, minimumWindowHeight);
    resize(1180, 820);
    setCentralWidget(m_content);
    menuBar()->addMenu(m_commands->menu());
    menuBar()->setStyleSheet(
        palette::themed(QStringLiteral("QMenuBar { background: @menuBar; color: white; }"
                                       "QMenuBar::item:selected { background: @accentSoft; }")));
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_closeConfirmation.allowClose(*this, *m_store, *event))
        QMainWindow::closeEvent(event);
}

// Files may have been moved while the operator was in another program.
void MainWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        m_store->refreshMediaPresence();
    QMainWindow::changeEvent(event);
}

}  // namespace tavrel
