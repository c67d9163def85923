#pragma once

#include <QWidget>

#include "ui/tavrel_section.h"

class QListWidget;

namespace tavrel {

// Brand row, the "재생" section list and the storage note.
class SidebarView : public QWidget {
    Q_OBJECT

public:
    explicit SidebarView(QWidget* parent = nullptr);

    TavrelSection selectedSection() const { return m_selected; }
    void selectSection(TavrelSection section);

Q_SIGNALS:
    void sectionSelected(TavrelSection section);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QListWidget* m_list = nullptr;
    TavrelSection m_selected = TavrelSection::cuePad;
};

}  // namespace tavrel
