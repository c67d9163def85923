#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QWidget>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "fake_file_chooser.h"
#include "support/store_fixture.h"
#include "ui/cue_artwork_cache.h"
#include "ui/cue_editor_view.h"
#include "ui/loop_playback_view.h"
#include "ui/ui_services.h"

namespace tavrel::test {

// Pixels of `image` for which `test` holds.
inline int pixelsWhere(const QImage& image, const std::function<bool(const QColor&)>& test) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += test(image.pixelColor(x, y));
    }
    return count;
}

// Opaque pixels of `image` within `tolerance` of `colour` in each channel.
inline int pixelsNear(const QImage& image, const QColor& colour, int tolerance = 8) {
    return pixelsWhere(image, [&](const QColor& p) {
        return p.alpha() > 200 && std::abs(p.red() - colour.red()) < tolerance &&
               std::abs(p.green() - colour.green()) < tolerance &&
               std::abs(p.blue() - colour.blue()) < tolerance;
    });
}

// The button of `box` that reads `title`, or null.
inline QPushButton* buttonTitled(QMessageBox* box, const QString& title) {
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == title)
            return qobject_cast<QPushButton*>(button);
    }
    return nullptr;
}

// A store on a real temporary library with a fake player, plus the services
// the views need, with a fake file chooser and a fixed clock.
class UiFixture : public StoreFixture {
public:
    // Slots in `playable` get an audio file that exists; slots in `missing`
    // name one that does not. Every slot gets the title "Cue <id>". Built on
    // `document`, with the files `media` names in the library besides.
    void seedSlots(const std::set<std::size_t>& playable, const std::set<std::size_t>& missing = {},
                   CueDocument document = CueDocument::empty(),
                   std::vector<std::string> media = {}) {
        for (CueSlot& slot : document.slots) {
            const auto id = static_cast<std::size_t>(slot.id);
            slot.title = "Cue " + std::to_string(id);
            if (playable.count(id) || missing.count(id))
                slot.audioFilename = "audio-" + std::to_string(id) + ".mp3";
            if (playable.count(id))
                media.push_back(*slot.audioFilename);
        }
        seed(document, media);
    }

    UiServices services() {
        UiServices result;
        result.fileChooser = &chooser;
        result.artwork = &artwork;
        result.presentEditor = cueEditorPresenter(store, chooser);
        result.makeLoopPanel = [this](QWidget* parent) -> QWidget* {
            return new LoopPlaybackView(store, chooser, parent);
        };
        result.now = [] { return QDateTime(QDate(2027, 3, 3), QTime(17, 5)); };
        return result;
    }

    // Runs the event loop until `done` holds or five seconds have passed.
    static bool waitUntil(const std::function<bool()>& done) {
        QDeadlineTimer deadline(5000);
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }

    FakeFileChooser chooser;
    CueArtworkWorkers artwork;
};

}  // namespace tavrel::test
