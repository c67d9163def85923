#include "ui/content_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <stdexcept>

#include "ui/cue_board_view.h"
#include "ui/sidebar_view.h"
#include "ui/tavrel_backdrop.h"
#include "ui/tavrel_theme.h"

namespace tavrel {

ContentView::ContentView(std::shared_ptr<CueStore> store, const UiServices& services,
                         QWidget* parent)
    : QWidget(parent),
      m_sidebar(new SidebarView(store, this)),
      m_board(new CueBoardView(store, services, this)),
      m_detail(new QStackedWidget(this)) {
    m_loopPanel = checkedServices(services).makeLoopPanel(m_detail);
    m_detail->addWidget(m_board);
    m_detail->addWidget(m_loopPanel);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    splitter->setChildrenCollapsible(false);
    splitter->setHandleWidth(1);
    splitter->setStyleSheet(
        palette::themed(QStringLiteral("QSplitter::handle { background: @divider; }")));
    splitter->addWidget(m_sidebar);
    splitter->addWidget(m_detail);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({220, 900});

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    connect(m_sidebar, &SidebarView::sectionSelected, this, &ContentView::show);
    show(TavrelSection::cuePad);
}

void ContentView::show(TavrelSection section) {
    m_detail->setCurrentWidget(
        section == TavrelSection::loopPlayer ? m_loopPanel : static_cast<QWidget*>(m_board));
}

TavrelSection ContentView::shownSection() const {
    return m_detail->currentWidget() == m_loopPanel ? TavrelSection::loopPlayer
                                                    : TavrelSection::cuePad;
}

}  // namespace tavrel
