#pragma once

#include <QMainWindow>

#include <memory>

#include "ui/close_confirmation.h"
#include "ui/ui_services.h"

namespace tavrel {

class ContentView;
class CueKeyboardCommands;
class CueStore;

// The one main window: the content view and the "큐" menu. At least 980 × 760.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(std::shared_ptr<CueStore> store, const UiServices& services,
               QWidget* parent = nullptr);

    ContentView& content() const { return *m_content; }
    CueKeyboardCommands& commands() const { return *m_commands; }

    static constexpr int minimumWindowWidth = 980;
    static constexpr int minimumWindowHeight = 760;

    const CloseConfirmation& closeConfirmation() const { return m_closeConfirmation; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    std::shared_ptr<CueStore> m_store;
    CloseConfirmation m_closeConfirmation;
    ContentView* m_content = nullptr;
    CueKeyboardCommands* m_commands = nullptr;
};

}  // namespace tavrel
