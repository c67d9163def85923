#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <set>
#include <vector>

#include <QWidget>

#include "base/uuid.h"
#include "model/loop_track.h"
#include "ui/loop_track_row.h"

class QListWidget;
class QMimeData;
class QStackedWidget;

namespace tavrel {

// The loop list, or its empty state when there are no tracks. Rows are
// selected with the mouse and deleted with Delete, Backspace or the context
// menu; audio files dropped anywhere on it are offered to the panel.
class LoopTrackList : public QWidget {
    Q_OBJECT

public:
    struct Actions {
        std::function<void(const Uuid& id, bool checked)> checkToggled;
        // Destination counts positions before the move.
        std::function<void(std::size_t position, std::size_t destination)> move;
        std::function<void(const std::set<std::size_t>& positions)> deleteRows;
        std::function<void(const std::vector<std::filesystem::path>& files)> addFiles;
    };

    struct Marks {
        std::function<bool(const LoopTrack&)> isCurrent;
        std::function<bool(const LoopTrack&)> canPlay;
    };

    LoopTrackList(Actions actions, QWidget* parent = nullptr);

    // Rows are rebuilt only when the tracks changed, so the row selection
    // survives the remaining-time updates of a run.
    void showTracks(const std::vector<LoopTrack>& tracks, const std::set<Uuid>& checked,
                    const Marks& marks);
    // While a run exists the rows are inert and drops are refused.
    void setEditable(bool editable);

    bool showsEmptyState() const;
    std::size_t rowCount() const { return m_tracks.size(); }
    LoopTrackRow* row(std::size_t position) const;
    // Selects rows as a click would (tests; the context menu).
    void selectRows(const std::set<std::size_t>& positions);
    std::set<std::size_t> selectedPositions() const;
    // Deletes the selected rows, as Delete does.
    void deleteSelectedRows();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QWidget* makeEmptyState();
    void rebuildRows(const std::vector<LoopTrack>& tracks);
    void showContextMenu(const QPoint& position);
    std::vector<std::filesystem::path> droppableFiles(const QMimeData* data) const;

    Actions m_actions;
    bool m_editable = true;
    std::vector<LoopTrack> m_tracks;
    std::vector<LoopTrackRow*> m_rows;
    QStackedWidget* m_stack = nullptr;
    QWidget* m_emptyState = nullptr;
    QListWidget* m_list = nullptr;
};

}  // namespace tavrel
