#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>

#include <memory>

namespace tavrel {

class CueStore;

// Follows the library's "Media" folder on disk: a file deleted or put back
// outside the application reaches the store's media presence (and so the
// cards) within a moment. Changes are gathered for a short while, so a copy
// in progress costs one check.
class MediaFolderWatcher : public QObject {
    Q_OBJECT

public:
    explicit MediaFolderWatcher(std::shared_ptr<CueStore> store, QObject* parent = nullptr);

    static constexpr int settleMilliseconds = 200;

private:
    void watch();

    std::shared_ptr<CueStore> m_store;
    QFileSystemWatcher m_watcher;
    QTimer m_settle;
};

}  // namespace tavrel
