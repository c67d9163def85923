#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "model/cue_document.h"

namespace tavrel::stress {

// The media files every generation may reference, and their bytes: large
// enough that copying a set takes a while and a kill lands inside it.
const std::vector<std::string>& crashMediaNames();
std::string crashMediaBytes(const std::string& name);

// A normalised document that differs from every other generation in its
// first slot's title, its size and the media it references.
CueDocument crashDocument(std::int64_t generation);

// Empty when `file` holds exactly one generation from `low` to `high` (stored
// in `found`); otherwise what is wrong with it.
std::string checkDocumentFile(const std::filesystem::path& file, std::int64_t low,
                              std::int64_t high, std::int64_t& found);
// The same for a set folder, which must also hold exactly that generation's media.
std::string checkSetFolder(const std::filesystem::path& set, std::int64_t low, std::int64_t high,
                           std::int64_t& found);

std::string readWholeFile(const std::filesystem::path& file);

}  // namespace tavrel::stress
