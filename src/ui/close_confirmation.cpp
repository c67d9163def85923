#include "ui/close_confirmation.h"

#include <QCloseEvent>
#include <QMessageBox>
#include <QPushButton>

#include "store/cue_store.h"

namespace tavrel {

bool closeNeedsConfirmation(const CueStore& store) {
    return !store.playback().state().isStopped() || store.loopPlayback().has_value();
}

bool CloseConfirmation::allowClose(QWidget& window, const CueStore& store, QCloseEvent& event) {
    if (m_confirmed || !closeNeedsConfirmation(store))
        return true;
    event.ignore();
    if (m_box)
        return false;
    auto* box = new QMessageBox(&window);
    box->setObjectName(QStringLiteral("closeConfirmation"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setWindowTitle(QStringLiteral("Tavrel을 종료할까요?"));
    box->setText(QStringLiteral("재생 중인 소리가 있습니다. 종료할까요?"));
    box->setInformativeText(QStringLiteral("종료하면 재생과 반복 재생이 바로 멈춥니다."));
    QPushButton* quit = box->addButton(QStringLiteral("종료(&Q)"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box->addButton(QStringLiteral("취소"), QMessageBox::RejectRole);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    QObject::connect(box, &QMessageBox::buttonClicked, &window,
                     [this, quit, target = QPointer<QWidget>(&window)](QAbstractButton* button) {
                         if (button != quit || !target)
                             return;
                         m_confirmed = true;
                         // After the box has gone: closing from inside its click
                         // would close the window under the box's own handler.
                         QMetaObject::invokeMethod(target, &QWidget::close, Qt::QueuedConnection);
                     });
    m_box = box;
    box->open();
    return false;
}

}  // namespace tavrel
