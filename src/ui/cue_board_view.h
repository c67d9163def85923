#pragma once

#include <array>
#include <memory>
#include <optional>

#include "base/observable.h"
#include "model/cue_slot.h"
#include "ui/tavrel_backdrop.h"
#include "ui/ui_services.h"

class QLabel;

namespace tavrel {

class CueBoardHeader;
class CueCard;
class CueControlsBar;
class CueSetFlows;
class CueStore;
class ErrorAlert;

// The cue pad: header, the twelve cards in four columns, the controls bar,
// the set flows and the error alert. A card click plays its cue, or in edit
// mode opens the editor for its slot.
class CueBoardView : public TavrelBackdrop {
    Q_OBJECT

public:
    CueBoardView(std::shared_ptr<CueStore> store, const UiServices& services,
                 QWidget* parent = nullptr);
    ~CueBoardView() override;

    static constexpr int columns = 4;
    static constexpr int spacing = 14;

    CueCard& card(std::size_t index) const { return *m_cards.at(index); }
    CueBoardHeader& header() const { return *m_header; }
    CueControlsBar& controls() const { return *m_controls; }
    CueSetFlows& setFlows() const { return *m_setFlows; }
    ErrorAlert& errorAlert() const { return *m_errorAlert; }
    // Across the board while edit mode is on: the cue keys are off.
    const QLabel& editModeBanner() const { return *m_editBanner; }
    // The slot whose editor is open.
    const std::optional<CueSlot>& editingSlot() const { return m_editingSlot; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refreshCards();
    void refreshProgress();
    void cardClicked(std::size_t index);

    std::shared_ptr<CueStore> m_store;
    CueEditorPresenter m_presentEditor;
    CueSetFlows* m_setFlows = nullptr;
    CueBoardHeader* m_header = nullptr;
    QLabel* m_editBanner = nullptr;
    std::array<CueCard*, 12> m_cards{};
    CueControlsBar* m_controls = nullptr;
    ErrorAlert* m_errorAlert = nullptr;
    std::optional<CueSlot> m_editingSlot;
    Subscription m_storeSubscription;
    Subscription m_playbackSubscription;
    Subscription m_progressSubscription;
};

}  // namespace tavrel
