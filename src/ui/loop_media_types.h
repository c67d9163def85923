#pragma once

#include <filesystem>
#include <vector>

#include <QStringList>

class QMimeData;

namespace tavrel {

// The file kinds the loop panel and the cue editor offer in their open panels
// and accept when files are dropped on them. The audio list is what the engine
// decodes, not just MP3.

// "오디오 파일 (…)", "모든 파일 (*)".
QStringList audioPanelFilters();
// "이미지 파일 (…)", "모든 파일 (*)".
QStringList imagePanelFilters();

// By extension, ignoring letter case.
bool isAudioFile(const std::filesystem::path& file);
bool isImageFile(const std::filesystem::path& file);

// The local files among dragged URLs, in their order.
std::vector<std::filesystem::path> localFiles(const QMimeData& data);

}  // namespace tavrel
