#include <QComboBox>
#include <QLabel>
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
        withOutputs.listOutputs = [this] { return outputs; };
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

    std::vector<OutputChoice> outputs = {{"hall", "공연장 스피커"}, {"booth", "부스 모니터"}};
    std::unique_ptr<CueBoardView> board;
};

TEST_F(SettingsWindowTest, SavingStoresTheChosenOutputAndLatencyCancelChangesNothing) {
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
    press(*window, QStringLiteral("저장"));
    EXPECT_EQ(store->preferences().outputDevice, "booth");
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

}  // namespace
}  // namespace tavrel
