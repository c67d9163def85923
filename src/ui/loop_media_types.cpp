#include "ui/loop_media_types.h"

#include <QMimeData>
#include <QUrl>

namespace tavrel {

namespace {

const QStringList& audioExtensions() {
    static const QStringList extensions = {
        QStringLiteral("wav"),  QStringLiteral("wave"), QStringLiteral("aif"),
        QStringLiteral("aiff"), QStringLiteral("aifc"), QStringLiteral("caf"),
        QStringLiteral("mp3"),  QStringLiteral("mp2"),  QStringLiteral("m4a"),
        QStringLiteral("aac"),  QStringLiteral("flac"), QStringLiteral("ogg"),
        QStringLiteral("oga"),  QStringLiteral("opus"), QStringLiteral("wma"),
        QStringLiteral("ac3"),  QStringLiteral("wv"),   QStringLiteral("ape"),
    };
    return extensions;
}

const QStringList& imageExtensions() {
    static const QStringList extensions = {
        QStringLiteral("png"), QStringLiteral("jpg"), QStringLiteral("jpeg"),
        QStringLiteral("gif"), QStringLiteral("bmp"), QStringLiteral("webp"),
        QStringLiteral("svg"), QStringLiteral("tif"), QStringLiteral("tiff"),
    };
    return extensions;
}

// The Qt file dialog matches patterns case-sensitively on Linux, and cards
// from cameras and old CDs often come as "TRACK01.WAV".
QString panelFilter(const QString& label, const QStringList& extensions) {
    QStringList patterns;
    for (const QString& extension : extensions)
        patterns << QStringLiteral("*.") + extension;
    for (const QString& extension : extensions)
        patterns << QStringLiteral("*.") + extension.toUpper();
    return label + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
}

bool hasExtension(const std::filesystem::path& file, const QStringList& extensions) {
    QString extension = QString::fromStdU16String(file.extension().u16string());
    if (extension.size() < 2)
        return false;
    return extensions.contains(extension.mid(1), Qt::CaseInsensitive);
}

}  // namespace

QStringList audioPanelFilters() {
    return {panelFilter(QStringLiteral("오디오 파일"), audioExtensions()),
            QStringLiteral("모든 파일 (*)")};
}

QStringList imagePanelFilters() {
    return {panelFilter(QStringLiteral("이미지 파일"), imageExtensions()),
            QStringLiteral("모든 파일 (*)")};
}

bool isAudioFile(const std::filesystem::path& file) {
    return hasExtension(file, audioExtensions());
}

bool isImageFile(const std::filesystem::path& file) {
    return hasExtension(file, imageExtensions());
}

std::vector<std::filesystem::path> localFiles(const QMimeData& data) {
    std::vector<std::filesystem::path> files;
    if (!data.hasUrls())
        return files;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile())
            files.emplace_back(url.toLocalFile().toStdU16String());
    }
    return files;
}

}  // namespace tavrel
