#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QPointer>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTranslator>

#include "ui/qt_file_chooser.h"
#include "ui/qt_translations.h"
#include "ui/tavrel_theme.h"
#include "ui_fixture.h"

namespace tavrel::test {
namespace {

namespace fs = std::filesystem;
using QtFileDialogsTest = UiFixture;

TEST(QtDialogsTest, QtsOwnTextsAreKorean) {
    ASSERT_TRUE(installKoreanQtTranslations(*QCoreApplication::instance()));
    auto* translator = QCoreApplication::instance()->findChild<QTranslator*>();
    const QString texts[] = {QCoreApplication::translate("QPlatformTheme", "Cancel"),
                             QCoreApplication::translate("QFileDialog", "Look in:")};
    QCoreApplication::removeTranslator(translator);
    delete translator;
    const QRegularExpression hangul(QStringLiteral("[가-힣]"));
    EXPECT_TRUE(texts[0].contains(hangul) && texts[1].contains(hangul));
}

TEST_F(QtFileDialogsTest, EachKindOfFileOpensWhereTheLastOfItsKindWasChosen) {
    QWidget parent;
    const auto folder = [](const fs::path& path) { return QString::fromStdString(path.string()); };
    // Accepts the shown panel with `file` and waits until it is gone.
    const auto answer = [&](const fs::path& file) {
        QPointer<QFileDialog> dialog = parent.findChild<QFileDialog*>();
        ASSERT_FALSE(dialog.isNull());
        dialog->selectFile(folder(file));
        static_cast<QDialog*>(dialog.data())->accept();  // QFileDialog hides it
        ASSERT_TRUE(waitUntil([&] { return dialog.isNull(); }));
    };
    const fs::path sounds = temp.path() / "sounds", shows = temp.path() / "shows";
    fs::create_directories(shows);
    writeFile(sounds / "a.mp3", "x");
    QtFileChooser files;
    OpenPanelOptions audio;
    audio.kind = FileKind::audio;
    std::vector<fs::path> opened;
    files.chooseToOpen(&parent, audio, [&](std::vector<fs::path> chosen) { opened = chosen; });
    EXPECT_EQ(parent.findChild<QFileDialog*>()->directory().absolutePath(), QDir::homePath());
    answer(sounds / "a.mp3");
    EXPECT_EQ(opened, std::vector<fs::path>{sounds / "a.mp3"});
    files.chooseToOpen(&parent, audio, [](std::vector<fs::path>) {});
    EXPECT_EQ(parent.findChild<QFileDialog*>()->directory().absolutePath(), folder(sounds));
    parent.findChild<QFileDialog*>()->reject();
    ASSERT_TRUE(waitUntil([&] { return parent.findChild<QFileDialog*>() == nullptr; }));

    SavePanelOptions set;
    set.kind = FileKind::set;
    files.chooseToSave(&parent, set, [](std::optional<fs::path>) {});
    answer(shows / "Show.tavrel");
    // A cancelled panel changes nothing; each kind has its own folder.
    EXPECT_EQ(files.folderFor(FileKind::set), folder(shows));
    EXPECT_EQ(files.folderFor(FileKind::audio), folder(sounds));
    EXPECT_EQ(files.folderFor(FileKind::image), QDir::homePath());
}

TEST(QtDialogsTest, DestructiveAnswersAreRedAndUncheckedBoxesShowOnTheDarkWindow) {
    QMessageBox box;
    QPushButton* destroy =
        box.addButton(QStringLiteral("슬롯 비우기"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QStringLiteral("취소"), QMessageBox::RejectRole);
    box.show();
    EXPECT_TRUE(isDestructiveButton(destroy) && !isDestructiveButton(cancel));
    const auto reddish = [](const QColor& c) {
        return c.red() > c.green() + 60 && c.red() > c.blue() + 60;
    };
    EXPECT_GT(pixelsWhere(destroy->grab().toImage(), reddish), destroy->width() * 4);
    EXPECT_EQ(pixelsWhere(cancel->grab().toImage(), reddish), 0);

    QCheckBox check(&box);
    check.resize(24, 24);
    QStyleOptionButton option;
    option.initFrom(&check);
    const QImage unchecked = check.grab().toImage().copy(
        check.style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, &check));
    EXPECT_GT(pixelsWhere(unchecked, [](const QColor& c) { return c.lightness() > 110; }), 8);
}

}  // namespace
}  // namespace tavrel::test
