#pragma once

#include <filesystem>

#include "model/cue_document.h"
#include "persistence/file_system.h"

namespace tavrel::internal {

// Clean-up after another error, or of a hidden leftover: that error is the one
// to report, and a hidden staging name is harmless until the next clean-up.
void removeIgnoringErrors(const std::filesystem::path& item, FileSystem& fileManager);

// Every media file the document names is a regular file in `folder`; a link
// is not, so nothing is ever copied from elsewhere on the machine. Throws
// missingBackupMedia with the first name that is not.
void requireMediaFiles(const CueDocument& document, const std::filesystem::path& folder,
                       FileSystem& fileManager);

}  // namespace tavrel::internal
