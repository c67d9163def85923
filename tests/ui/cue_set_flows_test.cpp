#include <QDir>
#include <QFileDialog>
#include <QPointer>
#include <QRegularExpression>
#include <QTranslator>

#include "model/document_json.h"
#include "ui/cue_board_view.h"
#include "ui/cue_set_flows.h"
#include "ui/error_alert.h"
#include "ui/qt_file_chooser.h"
#include "ui/qt_translations.h"
#include "ui_fixture.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;
using test::buttonTitled;

class CueSetFlowsTest : public test::UiFixture {
protected:
    void SetUp() override {
        seedSlots({0});
        board = std::make_unique<CueBoardView>(store, services());
        board->show();
    }

    CueSetFlows& flows() const { return board->setFlows(); }
    QMessageBox* alert() const { return board->errorAlert().box(); }
    void rename(const std::string& title) {
        CueSlot slot = store->document().slots[0];
        slot.title = title;
        ASSERT_TRUE(store->replace(slot));
    }
    fs::path saveAs(const fs::path& chosen) {
        flows().saveCurrentSet();
        chooser.answerSave(chosen);
        return chosen;
    }
    QMessageBox* chooseSet(const fs::path& folder) {
        flows().chooseSetToRestore();
        chooser.answerOpen({folder});
        return flows().restoreConfirmation();
    }

    std::unique_ptr<CueBoardView> board;
};

// Typed as a name in the save panel (the extension added) or chosen as the
// folder itself: either way a set already there is replaced only when the
// destructive answer says so.
TEST_F(CueSetFlowsTest, SavingOverAnExistingSetAsksFirstAndOnlyTheDestructiveAnswerReplaces) {
    const fs::path set = saveAs(temp.path() / "Show.tavrel");
    const auto savedTitle = [&] {
        return decodeDocument(test::readFile(set / "cues.json")).slots[0].title;
    };
    const std::function<void()> ways[] = {
        [&] { saveAs(temp.path() / "Show"); },
        [&] { flows().chooseSetToReplace(), chooser.answerOpen({set}); },
    };
    for (const auto& chooseTheSet : ways) {
        rename("Before " + savedTitle());
        for (const bool confirm : {false, true}) {
            EXPECT_NE(savedTitle(), store->document().slots[0].title);
            chooseTheSet();
            QMessageBox* question = flows().replaceConfirmation();
            ASSERT_NE(question, nullptr);
            EXPECT_EQ(question->text() + question->defaultButton()->text(),
                      QStringLiteral("‘Show.tavrel’을(를) 교체할까요?취소"));
            QPushButton* replace = buttonTitled(question, QStringLiteral("교체"));
            EXPECT_EQ(question->buttonRole(replace), QMessageBox::DestructiveRole);
            (confirm ? replace : question->defaultButton())->click();
            EXPECT_FALSE(flows().replaceConfirmation() || flows().pendingReplaceURL());
        }
        EXPECT_EQ(savedTitle(), store->document().slots[0].title);
    }
    EXPECT_EQ(test::entryNames(temp.path()).count("Show.tavrel.tavrel"), 0u);
    EXPECT_EQ(alert(), nullptr);
}

TEST_F(CueSetFlowsTest, LoadingAsksFirstAndOnlyTheDestructiveAnswerReplaces) {
    const fs::path set = saveAs(temp.path() / "Saved.tavrel");
    rename("Changed since");
    QMessageBox* confirmation = chooseSet(set);
    ASSERT_NE(confirmation, nullptr);
    EXPECT_EQ(confirmation->text(), QStringLiteral("저장한 세트를 불러올까요?"));
    EXPECT_EQ(confirmation->informativeText(),
              QStringLiteral("현재 12개 슬롯은 선택한 세트로 교체됩니다. 기존 세트를 남기려면 "
                             "먼저 세트 메뉴에서 저장하세요."));
    buttonTitled(confirmation, QStringLiteral("취소"))->click();
    EXPECT_EQ(store->document().slots[0].title, "Changed since");

    confirmation = chooseSet(set);
    QPushButton* replace = buttonTitled(confirmation, QStringLiteral("현재 세트 교체 후 불러오기"));
    EXPECT_EQ(confirmation->buttonRole(replace), QMessageBox::DestructiveRole);
    replace->click();
    EXPECT_EQ(store->document().slots[0].title, "Cue 0");
    EXPECT_FALSE(flows().pendingRestoreURL() || flows().restoreConfirmation());
}

// A folder that is no set fails only after the confirmation; a failed export
// shows its platform error; storage errors win and the button clears both.
TEST_F(CueSetFlowsTest, FailuresAreShownInTheAlertStorageFirstAndItsButtonClearsThem) {
    const fs::path folder = temp.path() / "not-a-set";
    fs::create_directories(folder);
    QMessageBox* confirmation = chooseSet(folder);
    EXPECT_EQ(alert(), nullptr);
    buttonTitled(confirmation, QStringLiteral("현재 세트 교체 후 불러오기"))->click();
    ASSERT_TRUE(store->persistenceError() && alert());
    EXPECT_EQ(alert()->text(), QString::fromStdString(*store->persistenceError()));
    store->setPersistenceError(std::nullopt);

    fileSystem.failEvery(test::FaultInjectingFileSystem::Operation::createDirectories);
    saveAs(temp.path() / "Broken");
    fileSystem.clearFailures();
    ASSERT_TRUE(alert());
    EXPECT_TRUE(alert()->text().contains(QStringLiteral("injected failure")));
    store->setPersistenceError(std::nullopt);

    store->play(store->document().slots[5]);  // no audio: a playback error
    ASSERT_TRUE(controller->errorMessage() && alert());
    EXPECT_EQ(alert()->text(), QString::fromStdString(*controller->errorMessage()));
    store->setPersistenceError("저장 실패");
    EXPECT_EQ(alert()->text(), QStringLiteral("저장 실패"));
    buttonTitled(alert(), QStringLiteral("확인"))->click();
    EXPECT_FALSE(store->persistenceError() || controller->errorMessage() || alert());
}

// Qt's own dialogs, as the set flows and the editors use them.

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

TEST_F(CueSetFlowsTest, EachKindOfFileOpensWhereTheLastOfItsKindWasChosen) {
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
    test::writeFile(sounds / "a.mp3", "x");
    QtFileChooser files;
    OpenPanelOptions audio;
    audio.kind = FileKind::audio;
    std::vector<fs::path> opened;
    files.chooseToOpen(&parent, audio, [&](std::vector<fs::path> chosen) { opened = chosen; });
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

}  // namespace
}  // namespace tavrel
