#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTranslator>

#include <algorithm>
#include <functional>

#include "ui/qt_file_chooser.h"
#include "ui/qt_translations.h"
#include "ui/tavrel_theme.h"
#include "ui_fixture.h"

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;

class QtDialogsTest : public UiFixture {
protected:
    QFileDialog* shownDialog() const { return parent.findChild<QFileDialog*>(); }

    // Accepts the shown panel with `file` and waits until it is gone.
    static void answer(QFileDialog* dialog, const fs::path& file) {
        ASSERT_NE(dialog, nullptr);
        QPointer<QFileDialog> watched(dialog);
        dialog->selectFile(QString::fromStdString(file.string()));
        static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
        ASSERT_TRUE(waitUntil([&] { return watched.isNull(); }));
    }

    QWidget parent;
};

TEST_F(QtDialogsTest, QtsOwnTextsAreKorean) {
    ASSERT_TRUE(installKoreanQtTranslations(*QCoreApplication::instance()));
    auto* translator = QCoreApplication::instance()->findChild<QTranslator*>();
    const QString cancel = QCoreApplication::translate("QPlatformTheme", "Cancel");
    const QString lookIn = QCoreApplication::translate("QFileDialog", "Look in:");
    QCoreApplication::removeTranslator(translator);
    delete translator;
    for (const QString& text : {cancel, lookIn}) {
        EXPECT_TRUE(std::any_of(text.begin(), text.end(), [](QChar c) {
            return c.unicode() >= 0xAC00 && c.unicode() <= 0xD7A3;
        })) << text.toStdString();
    }
}

TEST_F(QtDialogsTest, EachKindOfFileOpensWhereTheLastOfItsKindWasChosen) {
    const fs::path audioFolder = temp.path() / "sounds";
    const fs::path setFolder = temp.path() / "shows";
    fs::create_directories(audioFolder);
    fs::create_directories(setFolder);
    test::writeFile(audioFolder / "a.mp3", "x");
    QtFileChooser chooser;
    OpenPanelOptions audio;
    audio.kind = FileKind::audio;
    std::vector<fs::path> opened;
    const auto open = [&](const OpenPanelOptions& options) {
        chooser.chooseToOpen(&parent, options,
                             [&](std::vector<fs::path> files) { opened = files; });
        return shownDialog();
    };

    QFileDialog* first = open(audio);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->directory().absolutePath(), QDir::homePath());
    answer(first, audioFolder / "a.mp3");
    ASSERT_EQ(opened, std::vector<fs::path>{audioFolder / "a.mp3"});

    QFileDialog* again = open(audio);
    EXPECT_EQ(again->directory().absolutePath(), QString::fromStdString(audioFolder.string()));
    again->reject();
    ASSERT_TRUE(waitUntil([&] { return shownDialog() == nullptr; }));
    // A cancelled panel changes nothing; another kind has its own folder.
    EXPECT_EQ(chooser.folderFor(FileKind::audio), QString::fromStdString(audioFolder.string()));
    EXPECT_EQ(chooser.folderFor(FileKind::image), QDir::homePath());

    std::optional<fs::path> saved;
    SavePanelOptions set;
    set.kind = FileKind::set;
    chooser.chooseToSave(&parent, set, [&](std::optional<fs::path> file) { saved = file; });
    answer(shownDialog(), setFolder / "Show.tavrel");
    ASSERT_TRUE(saved);
    EXPECT_EQ(chooser.folderFor(FileKind::set), QString::fromStdString(setFolder.string()));
    EXPECT_EQ(chooser.folderFor(FileKind::audio), QString::fromStdString(audioFolder.string()));
}

TEST_F(QtDialogsTest, DestructiveAnswersAreRedAndUncheckedBoxesShowOnTheDarkWindow) {
    QMessageBox box(&parent);
    QPushButton* destroy =
        box.addButton(QStringLiteral("슬롯 비우기"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QStringLiteral("취소"), QMessageBox::RejectRole);
    box.show();
    EXPECT_TRUE(isDestructiveButton(destroy));
    EXPECT_FALSE(isDestructiveButton(cancel));
    const auto reddish = [](const QColor& c) {
        return c.red() > c.green() + 60 && c.red() > c.blue() + 60;
    };
    EXPECT_GT(pixelsWhere(destroy->grab().toImage(), reddish), destroy->width() * 4);
    EXPECT_EQ(pixelsWhere(cancel->grab().toImage(), reddish), 0);

    QCheckBox box2(&parent);
    box2.resize(24, 24);
    QStyleOptionButton option;
    option.initFrom(&box2);
    const QRect indicator =
        box2.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &box2);
    const QImage unchecked = box2.grab().toImage().copy(indicator);
    EXPECT_GT(pixelsWhere(unchecked, [](const QColor& c) { return c.lightness() > 110; }), 8);
}

}  // namespace
}  // namespace tavrel::test
