#pragma once

#include <QWidget>

#include <memory>

#include "ui/tavrel_section.h"
#include "ui/ui_services.h"

class QSplitter;
class QStackedWidget;

namespace tavrel {

class CueBoardView;
class CueStore;
class SidebarView;

// The window's content: the sidebar and, beside it, the section's view (the
// cue board, or the loop player panel).
class ContentView : public QWidget {
    Q_OBJECT

public:
    ContentView(std::shared_ptr<CueStore> store, const UiServices& services,
                QWidget* parent = nullptr);

    SidebarView& sidebar() const { return *m_sidebar; }
    CueBoardView& board() const { return *m_board; }
    QWidget& loopPanel() const { return *m_loopPanel; }
    TavrelSection shownSection() const;

private:
    void show(TavrelSection section);

    SidebarView* m_sidebar = nullptr;
    CueBoardView* m_board = nullptr;
    QWidget* m_loopPanel = nullptr;
    QStackedWidget* m_detail = nullptr;
};

}  // namespace tavrel
