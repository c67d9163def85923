#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "loop_editor_fixture.h"
#include "ui/cue_board_header.h"
#include "ui/cue_board_view.h"
#include "ui/settings_window.h"

namespace tavrel::test {
namespace {

class SettingsWindowTest : public UiFixture {
protected:
    SettingsWindowTest() { store->usePreferences(PreferencesStorage(temp.path() / "config")); }

    // Opened the operator's way, from the header.
    SettingsWindow& open() {
        UiServices withOutputs = services();
        withOutputs.settings.listOutputs = [this] { return outputs; };
        withOutputs.settings.remote = remote;
        board = std::make_unique<CueBoardView>(store, withOutputs);
        board->show();
        board->header().settingsButton().click();
        return *board->findChild<SettingsWindow*>();
    }

    RemoteSettingsServices remote;
    std::vector<OutputEntry> outputs = {{"hall", "공연장 스피커"}, {"booth", "부스 모니터"}};
    std::unique_ptr<CueBoardView> board;
};

TEST_F(SettingsWindowTest, SavesOutputLatencyAndFadeAndCancelChangesNothing) {
    Preferences expected;
    for (const char* button : {"취소", "저장"}) {
        SettingsWindow& window = open();
        childNamed<QComboBox>(&window, "출력 장치")->setCurrentIndex(2);  // after the default
        childNamed<QRadioButton>(&window, "저지연")->click();
        childNamed<QDoubleSpinBox>(&window, "페이드 아웃 시간")->setValue(3.5);
        childNamed<QPushButton>(&window, button)->click();
        EXPECT_EQ(store->preferences(), expected) << button;
        expected.outputDevice = "booth";
        expected.latencyPreset = LatencyPreset::low;
        expected.fadeSeconds = 3.5;
    }
}

TEST_F(SettingsWindowTest, RemoteSettingsAreRefusedWithTheirMessage) {
    remote.validate = [](const Preferences& chosen) -> std::optional<std::string> {
        return chosen.oscPasscode.empty() ? "암호가 필요합니다." : std::optional<std::string>();
    };
    SettingsWindow& window = open();
    for (auto* box : window.findChildren<QCheckBox*>())
        box->setChecked(true);  // OSC on, and from the network, without a passcode
    childNamed<QPushButton>(&window, "저장")->click();
    const QLabel* problem = childNamed<QLabel>(&window, "remoteProblem");
    EXPECT_EQ(problem->isHidden() ? QString() : problem->text(), "암호가 필요합니다.");
    EXPECT_EQ(store->preferences(), Preferences{});
    childNamed<QLineEdit>(&window, "OSC 암호")->setText("1234");
    childNamed<QPushButton>(&window, "저장")->click();
    EXPECT_TRUE(store->preferences().oscFromNetwork && store->preferences().oscPasscode == "1234");
}

}  // namespace
}  // namespace tavrel::test
