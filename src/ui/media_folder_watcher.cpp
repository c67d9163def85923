#include "ui/media_folder_watcher.h"

#include <QFileInfo>

#include "store/cue_store.h"

namespace tavrel {

MediaFolderWatcher::MediaFolderWatcher(std::shared_ptr<CueStore> store, QObject* parent)
    : QObject(parent), m_store(std::move(store)) {
    m_settle.setSingleShot(true);
    m_settle.setInterval(settleMilliseconds);
    connect(&m_settle, &QTimer::timeout, this, [this] { m_store->refreshMediaPresence(); });
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        // "Media" may have just been made, or removed and made again.
        watch();
        m_settle.start();
    });
    watch();
}

void MediaFolderWatcher::watch() {
    const auto& persistence = m_store->persistence();
    if (!persistence)
        return;
    // The library folder too: "Media" is made by the first save.
    const QStringList wanted = {QString::fromStdString(persistence->rootURL().string()),
                                QString::fromStdString(persistence->mediaURL().string())};
    for (const QString& path : wanted) {
        if (!m_watcher.directories().contains(path) && QFileInfo(path).isDir())
            m_watcher.addPath(path);
    }
}

}  // namespace tavrel
