#include <QMessageBox>
#include <QPushButton>

#include "model/document_json.h"
#include "support/fault_injecting_file_system.h"
#include "ui/cue_board_view.h"
#include "ui/cue_set_flows.h"
#include "ui/error_alert.h"
#include "ui_fixture.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;

QPushButton* buttonTitled(QMessageBox* box, const QString& title) {
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == title)
            return qobject_cast<QPushButton*>(button);
    }
    return nullptr;
}

class CueSetFlowsTest : public test::UiFixture {
protected:
    void SetUp() override {
        seedSlots({0});
        board = std::make_unique<CueBoardView>(store, services());
        board->show();
    }

    CueSetFlows& flows() const { return board->setFlows(); }
    QMessageBox* alert() const { return board->errorAlert().box(); }
    void rename(std::size_t id, const std::string& title) {
        CueSlot slot = store->document().slots[id];
        slot.title = title;
        ASSERT_TRUE(store->replace(slot));
    }
    fs::path saveAs(const fs::path& chosen) {
        flows().saveCurrentSet();
        chooser.answerSave(chosen);
        return chosen;
    }
    void chooseSet(const fs::path& folder) {
        flows().chooseSetToRestore();
        chooser.answerOpen({folder});
    }

    std::unique_ptr<CueBoardView> board;
};

// The panels' texts, and cancelling either changes nothing.
TEST_F(CueSetFlowsTest, ThePanelsProposeADatedNameAndCancellingChangesNothing) {
    const auto before = libraryContents();
    flows().saveCurrentSet();
    ASSERT_EQ(chooser.saveRequests.size(), 1u);
    const SavePanelOptions& save = chooser.saveRequests.front().options;
    EXPECT_EQ(save.defaultName, QStringLiteral("Tavrel-세트-20270303-1705.tavrel"));
    EXPECT_EQ(std::make_pair(save.title, save.prompt),
              std::make_pair(QStringLiteral("Tavrel 세트 저장"), QStringLiteral("저장")));
    EXPECT_EQ(CueSetFlows::defaultSetName(QDateTime(QDate(2026, 12, 5), QTime(5, 27))),
              QStringLiteral("Tavrel-세트-20261205-0527.tavrel"));
    chooser.answerSave(std::nullopt);

    flows().chooseSetToRestore();
    ASSERT_EQ(chooser.openRequests.size(), 1u);
    const OpenPanelOptions& open = chooser.openRequests.front().options;
    EXPECT_TRUE(!open.canChooseFiles && open.canChooseDirectories && !open.allowsMultipleSelection);
    EXPECT_EQ(std::make_pair(open.title, open.prompt),
              std::make_pair(QStringLiteral("Tavrel 세트 불러오기"), QStringLiteral("선택")));
    chooser.answerOpen({});
    EXPECT_EQ(flows().restoreConfirmation(), nullptr);
    EXPECT_EQ(libraryContents(), before);
    EXPECT_EQ(alert(), nullptr);
}

TEST_F(CueSetFlowsTest, SavingEnsuresTheSetExtensionWhateverItsCase) {
    const fs::path root = temp.path() / "sets";
    fs::create_directories(root);
    saveAs(root / "Show");
    saveAs(root / "Upper.TAVREL");
    saveAs(root / "Archive.zip");
    EXPECT_EQ(test::entryNames(root),
              (std::set<std::string>{"Archive.zip.tavrel", "Show.tavrel", "Upper.TAVREL"}));
    EXPECT_TRUE(fs::is_regular_file(root / "Show.tavrel" / "cues.json"));
    EXPECT_EQ(alert(), nullptr);
}

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
        [&] {
            flows().chooseSetToReplace();
            ASSERT_EQ(chooser.openRequests.size(), 1u);
            EXPECT_TRUE(chooser.openRequests.front().options.canChooseDirectories);
            EXPECT_FALSE(chooser.openRequests.front().options.canChooseFiles);
            chooser.answerOpen({set});
        },
    };
    for (const auto& chooseTheSet : ways) {
        rename(0, "Before " + savedTitle());
        const std::string expected = store->document().slots[0].title;
        for (const bool confirm : {false, true}) {
            chooseTheSet();
            QMessageBox* question = flows().replaceConfirmation();
            ASSERT_NE(question, nullptr);
            EXPECT_EQ(question->text(), QStringLiteral("‘Show.tavrel’을(를) 교체할까요?"));
            EXPECT_EQ(question->windowModality(), Qt::WindowModal);
            EXPECT_EQ(flows().pendingReplaceURL(), set);
            EXPECT_EQ(question->defaultButton()->text(), QStringLiteral("취소"));
            QPushButton* replace = buttonTitled(question, QStringLiteral("교체"));
            ASSERT_NE(replace, nullptr);
            EXPECT_EQ(question->buttonRole(replace), QMessageBox::DestructiveRole);
            EXPECT_NE(savedTitle(), expected);
            (confirm ? replace : question->defaultButton())->click();
            EXPECT_EQ(flows().replaceConfirmation(), nullptr);
            EXPECT_FALSE(flows().pendingReplaceURL());
        }
        EXPECT_EQ(savedTitle(), expected);
    }
    EXPECT_EQ(test::entryNames(temp.path()).count("Show.tavrel.tavrel"), 0u);
    EXPECT_EQ(alert(), nullptr);
}

TEST_F(CueSetFlowsTest, LoadingAsksFirstAndOnlyTheDestructiveAnswerReplaces) {
    const fs::path set = saveAs(temp.path() / "Saved.tavrel");
    rename(0, "Changed since");

    chooseSet(set);
    QMessageBox* confirmation = flows().restoreConfirmation();
    ASSERT_NE(confirmation, nullptr);
    EXPECT_EQ(confirmation->windowModality(), Qt::WindowModal);
    EXPECT_EQ(confirmation->text(), QStringLiteral("저장한 세트를 불러올까요?"));
    EXPECT_EQ(confirmation->informativeText(),
              QStringLiteral("현재 12개 슬롯은 선택한 세트로 교체됩니다. 기존 세트를 남기려면 "
                             "먼저 세트 메뉴에서 저장하세요."));
    EXPECT_EQ(flows().pendingRestoreURL(), set);
    QPushButton* cancel = buttonTitled(confirmation, QStringLiteral("취소"));
    ASSERT_NE(cancel, nullptr);
    cancel->click();
    EXPECT_FALSE(flows().pendingRestoreURL());
    EXPECT_EQ(store->document().slots[0].title, "Changed since");

    chooseSet(set);
    confirmation = flows().restoreConfirmation();
    ASSERT_NE(confirmation, nullptr);
    QPushButton* replace = buttonTitled(confirmation, QStringLiteral("현재 세트 교체 후 불러오기"));
    ASSERT_NE(replace, nullptr);
    EXPECT_EQ(confirmation->buttonRole(replace), QMessageBox::DestructiveRole);
    replace->click();
    EXPECT_EQ(store->document().slots[0].title, "Cue 0");
    EXPECT_FALSE(flows().pendingRestoreURL());
    EXPECT_EQ(flows().restoreConfirmation(), nullptr);
}

// A folder that is no set fails only after the confirmation; a failed export
// shows its platform error.
TEST_F(CueSetFlowsTest, FailuresOfEitherWayAreShownInTheAlert) {
    const fs::path folder = temp.path() / "not-a-set";
    fs::create_directories(folder);
    chooseSet(folder);
    ASSERT_NE(flows().restoreConfirmation(), nullptr);
    EXPECT_EQ(alert(), nullptr);
    buttonTitled(flows().restoreConfirmation(), QStringLiteral("현재 세트 교체 후 불러오기"))
        ->click();
    ASSERT_TRUE(store->persistenceError());
    ASSERT_NE(alert(), nullptr);
    EXPECT_EQ(alert()->text(), QString::fromStdString(*store->persistenceError()));
    store->setPersistenceError(std::nullopt);

    fileSystem.failEvery(test::FaultInjectingFileSystem::Operation::createDirectories);
    saveAs(temp.path() / "Broken");
    fileSystem.clearFailures();
    ASSERT_TRUE(store->persistenceError());
    EXPECT_NE(store->persistenceError()->find("injected failure"), std::string::npos);
    ASSERT_NE(alert(), nullptr);
    EXPECT_EQ(alert()->windowTitle(), QStringLiteral("Tavrel"));
}

TEST_F(CueSetFlowsTest, TheAlertShowsStorageFirstAndItsButtonClearsBoth) {
    store->play(store->document().slots[5]);  // no audio: a playback error
    ASSERT_TRUE(controller->errorMessage());
    ASSERT_NE(alert(), nullptr);
    EXPECT_EQ(alert()->text(), QString::fromStdString(*controller->errorMessage()));
    store->setPersistenceError("저장 실패");
    EXPECT_EQ(alert()->text(), QStringLiteral("저장 실패"));
    QPushButton* ok = buttonTitled(alert(), QStringLiteral("확인"));
    ASSERT_NE(ok, nullptr);
    ok->click();
    EXPECT_FALSE(store->persistenceError());
    EXPECT_FALSE(controller->errorMessage());
    EXPECT_EQ(alert(), nullptr);
    EXPECT_EQ(ErrorAlert::message(*store), QStringLiteral("알 수 없는 오류"));
}

TEST_F(CueSetFlowsTest, AnErrorRaisedWhileTheBoardIsHiddenAppearsWhenItReturns) {
    board->hide();
    store->setPersistenceError("나중에");
    EXPECT_EQ(alert(), nullptr);
    board->show();
    ASSERT_NE(alert(), nullptr);
    EXPECT_EQ(alert()->text(), QStringLiteral("나중에"));
}

}  // namespace
}  // namespace tavrel
