#pragma once

#include <ostream>

namespace tavrel {

// `tavrel --check`: the pre-show check. Reads the library without writing
// anything, prints its state and the twelve slots and loop tracks, and decodes
// the first frames of every referenced audio file. Returns 0 when everything
// can play, 1 when a referenced media file is missing or cannot be played, 2
// when the document cannot be read.
int runCheckCommand(std::ostream& out);

// `tavrel --outputs`: the sound server's outputs, "name<TAB>description" per
// line. Writes nothing; 1 when no server answers.
int runOutputsCommand(std::ostream& out, std::ostream& err);

}  // namespace tavrel
