#pragma once

#include <cstddef>
#include <functional>

#include <QWidget>

#include "model/loop_track.h"

class QCheckBox;
class QLabel;
class QToolButton;

namespace tavrel {

// One row of the loop list: check box, playing mark, title and file name,
// move buttons and the missing-file warning. Shows what it is told; the
// panel decides what a click does.
class LoopTrackRow : public QWidget {
    Q_OBJECT

public:
    struct Actions {
        std::function<void(bool checked)> checkToggled;
        std::function<void()> moveUp;
        std::function<void()> moveDown;
    };

    struct State {
        bool checked = false;
        bool isCurrent = false;  // this track sounds (or is paused) in the run
        bool canPlay = true;     // its copied file exists
        std::size_t position = 0;
        std::size_t count = 1;
    };

    LoopTrackRow(const LoopTrack& track, Actions actions, QWidget* parent = nullptr);

    void setState(const State& state);
    // While a run exists the check box and move buttons are off; the playing
    // mark stays in colour, which a disabled row would grey.
    void setEditable(bool editable);

    QCheckBox* checkBox() const { return m_check; }
    QToolButton* moveUpButton() const { return m_up; }
    QToolButton* moveDownButton() const { return m_down; }
    // The "파일 없음" label.
    QWidget* missingLabel() const { return m_missing; }
    bool showsCurrentMark() const { return m_showsCurrent; }

private:
    void applyEnabled();

    State m_state;
    bool m_editable = true;
    QCheckBox* m_check = nullptr;
    QLabel* m_symbol = nullptr;
    QToolButton* m_up = nullptr;
    QToolButton* m_down = nullptr;
    QWidget* m_missing = nullptr;
    bool m_showsCurrent = false;
    Actions m_actions;
};

}  // namespace tavrel
