#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "ui/cue_board_header.h"
#include "ui/cue_board_view.h"
#include "ui/settings_window.h"
#include "ui_fixture.h"

namespace tavrel {
namespace {

class SettingsWindowTest : public test::UiFixture {
protected:
    void SetUp() override {
        seedSlots({});
        store->usePreferences(PreferencesStorage(temp.path() / "config"));
    }
    // Opened the operator's way, from the header.
    SettingsWindow* open() {
        UiServices withOutputs = services();
        withOutputs.settings.listOutputs = [this] { return outputs; };
        withOutputs.settings.remote = remote;
        board = std::make_unique<CueBoardView>(store, withOutputs);
        board->show();
        board->header().settingsButton().click();
        return board->findChild<SettingsWindow*>();
    }
    static void press(SettingsWindow& window, const QString& title) {
        for (auto* button : window.findChildren<QPushButton*>()) {
            if (button->text() == title)
                return button->click();
        }
        FAIL() << "no button " << title.toStdString();
    }
    QComboBox& outputBox(SettingsWindow& window) { return *window.findChild<QComboBox*>(); }

    RemoteSettingsServices remote;
    std::vector<OutputEntry> outputs = {{"hall", "공연장 스피커"}, {"booth", "부스 모니터"}};
    std::unique_ptr<CueBoardView> board;
};

TEST_F(SettingsWindowTest, SavingStoresTheChosenOutputLatencyAndFadeCancelChangesNothing) {
    SettingsWindow* window = open();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(outputBox(*window).count(), 3);  // the default output first
    outputBox(*window).setCurrentIndex(2);
    for (auto* radio : window->findChildren<QRadioButton*>()) {
        if (radio->accessibleName() == QStringLiteral("저지연"))
            radio->click();
    }
    press(*window, QStringLiteral("취소"));
    EXPECT_EQ(store->preferences(), Preferences{});

    window = open();
    outputBox(*window).setCurrentIndex(2);
    window->findChildren<QRadioButton*>().last()->click();
    window->findChild<QDoubleSpinBox*>()->setValue(3.5);
    press(*window, QStringLiteral("저장"));
    EXPECT_EQ(store->preferences().outputDevice, "booth");
    EXPECT_EQ(store->preferences().fadeSeconds, 3.5);
    EXPECT_EQ(store->preferences().latencyPreset, LatencyPreset::low);
    EXPECT_EQ(
        decodePreferences(test::readFile(temp.path() / "config" / "preferences.json")).outputDevice,
        "booth");
}

TEST_F(SettingsWindowTest, AChosenOutputThatIsGoneIsSaidAndKept) {
    Preferences chosen;
    chosen.outputDevice = "usb-interface";
    ASSERT_TRUE(store->setPreferences(chosen));
    SettingsWindow* window = open();
    const auto* note = window->findChild<QLabel*>(QStringLiteral("outputNote"));
    ASSERT_NE(note, nullptr);
    EXPECT_FALSE(note->isHidden());
    EXPECT_TRUE(note->text().contains(QStringLiteral("usb-interface")));
    // Saving something else does not drop the operator's choice.
    EXPECT_EQ(window->editedPreferences().outputDevice, "usb-interface");

    outputs.push_back({"usb-interface", "USB 오디오"});
    window->reject();
    window = open();
    EXPECT_TRUE(window->findChild<QLabel*>(QStringLiteral("outputNote"))->isHidden());
    EXPECT_EQ(outputBox(*window).currentText(), QStringLiteral("USB 오디오"));
}

TEST_F(SettingsWindowTest, RemoteSettingsAreRefusedWithTheirMessageAndLearnedPadsAreSaved) {
    std::function<void(const MidiMapping&)> pendingLearn;
    remote.validate = [](const Preferences& preferences) -> std::optional<std::string> {
        if (preferences.oscFromNetwork && preferences.oscPasscode.empty())
            return "암호가 필요합니다.";
        return std::nullopt;
    };
    remote.startLearning = [&](const std::string& target, auto learned) {
        EXPECT_EQ(target, "fade");
        pendingLearn = std::move(learned);
    };
    remote.withLearned = [](std::vector<MidiMapping> mappings, const MidiMapping& learned) {
        mappings.push_back(learned);
        return mappings;
    };
    SettingsWindow* window = open();
    for (auto* box : window->findChildren<QCheckBox*>())
        box->setChecked(true);  // OSC on, and from the network, without a passcode
    press(*window, QStringLiteral("저장"));
    const auto* problem = window->findChild<QLabel*>(QStringLiteral("remoteProblem"));
    EXPECT_FALSE(problem->isHidden());
    EXPECT_EQ(problem->text(), QStringLiteral("암호가 필요합니다."));
    EXPECT_EQ(store->preferences(), Preferences{});

    for (auto* field : window->findChildren<QLineEdit*>()) {
        if (field->accessibleName() == QStringLiteral("OSC 암호"))
            field->setText(QStringLiteral("1234"));
    }
    auto* target = window->findChildren<QComboBox*>().last();
    target->setCurrentIndex(target->count() - 1);  // fade
    for (auto* button : window->findChildren<QPushButton*>()) {
        if (button->text() == QStringLiteral("MIDI 학습"))
            button->click();
    }
    ASSERT_TRUE(pendingLearn);
    pendingLearn({"fade", MidiMapping::Kind::controller, 20, 2});
    press(*window, QStringLiteral("저장"));
    EXPECT_TRUE(store->preferences().oscFromNetwork);
    EXPECT_EQ(store->preferences().oscPasscode, "1234");
    EXPECT_EQ(store->preferences().midiMappings.back(),
              (MidiMapping{"fade", MidiMapping::Kind::controller, 20, 2}));
}

}  // namespace
}  // namespace tavrel
