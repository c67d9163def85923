#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "store/cue_store.h"
#include "ui/cue_editor_presenter.h"

namespace tavrel {

CueEditorPresenter placeholderEditorPresenter(std::shared_ptr<CueStore> store) {
    return [store = std::move(store)](QWidget* parent, const CueSlot& slot,
                                      std::function<void()> onClosed) {
        auto* sheet = new QDialog(parent);
        sheet->setObjectName(QStringLiteral("cueEditorSheet"));
        sheet->setAttribute(Qt::WA_DeleteOnClose);
        sheet->setWindowModality(Qt::WindowModal);
        sheet->setWindowTitle(QStringLiteral("큐 편집"));
        sheet->setMinimumSize(420, 200);
        auto* layout = new QVBoxLayout(sheet);
        layout->addWidget(new QLabel(QString::fromStdString(slot.displayTitle()), sheet));
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, sheet);
        buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("닫기"));
        QObject::connect(buttons, &QDialogButtonBox::rejected, sheet, &QDialog::reject);
        layout->addStretch(1);
        layout->addWidget(buttons);
        QObject::connect(sheet, &QDialog::finished, sheet,
                         [store, onClosed = std::move(onClosed)](int) {
                             store->setEditorPresented(false);
                             if (onClosed)
                                 onClosed();
                         });
        store->setEditorPresented(true);
        sheet->open();
    };
}

}  // namespace tavrel
