#include "ui/cue_menu.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

#include "model/cue_document.h"
#include "store/cue_store.h"

namespace tavrel {

namespace {

// The keys of slotKeyCharacter(), as keys.
constexpr Qt::Key slotKeys[] = {Qt::Key_1, Qt::Key_2, Qt::Key_3,     Qt::Key_4,
                                Qt::Key_5, Qt::Key_6, Qt::Key_7,     Qt::Key_8,
                                Qt::Key_9, Qt::Key_0, Qt::Key_Minus, Qt::Key_Equal};

}  // namespace

CueKeyboardCommands::CueKeyboardCommands(std::shared_ptr<CueStore> store, QWidget* window)
    : QObject(window), m_store(std::move(store)), m_menu(new QMenu(QStringLiteral("큐"), window)) {
    for (std::size_t index = 0; index < m_cueActions.size(); ++index) {
        auto* action = new QAction(QStringLiteral("큐 %1 재생").arg(index + 1), this);
        action->setAutoRepeat(false);
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this, [this, index] {
            if (!m_store->liveShortcutsEnabled())
                return;
            // The slot as it is now, not as it was when the menu was built.
            const CueDocument& document = m_store->document();
            if (index < document.slots.size())
                m_store->play(document.slots[index]);
        });
        m_cueActions[index] = action;
        m_menu->addAction(action);
    }
    m_menu->addSeparator();
    m_pauseAction = new QAction(QStringLiteral("일시정지"), this);
    m_pauseAction->setAutoRepeat(false);
    m_pauseAction->setShortcutContext(Qt::WindowShortcut);
    connect(m_pauseAction, &QAction::triggered, this, [this] {
        if (m_store->liveShortcutsEnabled())
            m_store->togglePause();
    });
    m_menu->addAction(m_pauseAction);
    m_fadeAction = new QAction(QStringLiteral("페이드 아웃"), this);
    m_fadeAction->setAutoRepeat(false);
    m_fadeAction->setShortcutContext(Qt::WindowShortcut);
    connect(m_fadeAction, &QAction::triggered, this, [this] {
        if (m_store->liveShortcutsEnabled())
            m_store->fadeOut();
    });
    m_menu->addAction(m_fadeAction);
    // Also on the window itself, so the keys work wherever the menu is shown.
    window->addActions(m_menu->actions());

    m_storeSubscription = m_store->subscribe([this] { refresh(); });
    m_playbackSubscription = m_store->playback().subscribe([this] { refresh(); });
    refresh();
}

void CueKeyboardCommands::refresh() {
    const bool live = m_store->liveShortcutsEnabled();
    const CueDocument& document = m_store->document();
    for (std::size_t index = 0; index < m_cueActions.size(); ++index) {
        QAction* action = m_cueActions[index];
        const bool playable =
            index < document.slots.size() && m_store->canPlay(document.slots[index]);
        action->setShortcut(live ? QKeySequence(slotKeys[index]) : QKeySequence());
        action->setEnabled(live && playable);
    }
    const PlaybackState& state = m_store->playback().state();
    m_pauseAction->setText(state.isPaused() ? QStringLiteral("계속 재생")
                                            : QStringLiteral("일시정지"));
    m_pauseAction->setShortcut(live ? QKeySequence(Qt::Key_Space) : QKeySequence());
    m_pauseAction->setEnabled(live && !state.isStopped());
    m_fadeAction->setShortcut(live ? QKeySequence(Qt::Key_Escape) : QKeySequence());
    // Also while stopped: a second press still cuts a replaced cue's fade.
    m_fadeAction->setEnabled(live);
}

}  // namespace tavrel
