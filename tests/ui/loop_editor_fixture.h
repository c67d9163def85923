#pragma once

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <filesystem>
#include <memory>

#include "ui/cue_editor_presenter.h"
#include "ui_fixture.h"

namespace tavrel::test {

// The window's UI fixture plus what the loop panel and editor tests share.
class LoopEditorFixture : public UiFixture {
protected:
    std::filesystem::path media() const { return library().mediaURL(); }

    // A real image, for imports the card artwork could show.
    std::filesystem::path sourceImage(const std::string& name) {
        const auto file = sourceFile(name);
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::red);
        EXPECT_TRUE(image.save(QString::fromStdString(file.string()), "PNG"));
        return file;
    }

    // Adds tracks titled by `names` through the store, as the add button would.
    void addTracks(const std::vector<std::string>& names) {
        std::vector<std::filesystem::path> files;
        for (const auto& name : names)
            files.push_back(sourceFile(name + ".mp3"));
        ASSERT_TRUE(store->addLoopTracks(files));
    }

    std::vector<std::string> trackTitles() const {
        std::vector<std::string> titles;
        for (const auto& track : store->document().loopTracks)
            titles.push_back(track.title);
        return titles;
    }

    static std::unique_ptr<QMimeData> fileDrag(const std::vector<std::filesystem::path>& files) {
        auto data = std::make_unique<QMimeData>();
        QList<QUrl> urls;
        for (const auto& file : files)
            urls << QUrl::fromLocalFile(QString::fromStdString(file.string()));
        data->setUrls(urls);
        return data;
    }

    // A synthesised drag over `target` and, when it is accepted, the drop.
    static bool drop(QWidget* target, const QMimeData* data) {
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(target, &event);
        return event.isAccepted();
    }
};

// The first child of `parent` of type T titled, named or accessibly named `text`.
template <class T>
T* childNamed(const QObject* parent, const QString& text) {
    for (T* child : parent->findChildren<T*>()) {
        if (child->accessibleName() == text || child->objectName() == text ||
            child->property("text").toString() == text)
            return child;
    }
    ADD_FAILURE() << "no child " << text.toStdString();
    return nullptr;
}

// Overview reads held until the test answers them, as the engine's thread would.
struct FakeOverviews {
    struct Request {
        std::filesystem::path url;
        std::function<void(const AudioOverview&)> deliver;
        std::weak_ptr<void> handle;
    };
    AudioOverviewReading reader() {
        return [this](const std::filesystem::path& url, auto deliver) {
            auto handle = std::make_shared<int>(0);
            requests.push_back({url, std::move(deliver), handle});
            return handle;
        };
    }
    std::vector<Request> requests;
};

// build/screenshots of the checkout, wherever the tests run from.
inline std::filesystem::path screenshotDirectory() {
    const std::filesystem::path directory = TAVREL_SCREENSHOT_DIR;
    std::filesystem::create_directories(directory);
    return directory;
}

}  // namespace tavrel::test
