#pragma once

#include <QWidget>

#include <memory>

#include "base/observable.h"
#include "ui/tavrel_section.h"

class QLabel;
class QListWidget;

namespace tavrel {

class CueStore;

// Brand row, the "재생" section list and the storage note. Beside "반복
// 플레이어", the time a timed loop run has left ("-m:ss"), so it shows from
// the cue pad too; a run until stopped has no end to count down to.
class SidebarView : public QWidget {
    Q_OBJECT

public:
    explicit SidebarView(std::shared_ptr<CueStore> store, QWidget* parent = nullptr);

    TavrelSection selectedSection() const { return m_selected; }
    void selectSection(TavrelSection section);
    QString loopRemainingText() const;

Q_SIGNALS:
    void sectionSelected(TavrelSection section);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refreshLoopRemaining();

    std::shared_ptr<CueStore> m_store;
    QListWidget* m_list = nullptr;
    QLabel* m_loopRemaining = nullptr;
    TavrelSection m_selected = TavrelSection::cuePad;
    Subscription m_storeSubscription;
};

}  // namespace tavrel
