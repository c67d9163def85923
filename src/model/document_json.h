#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "model/cue_document.h"

namespace tavrel {

// Bytes that are not a document: what() is a readable reason.
class DocumentDecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A document that cannot be written (a non-finite number).
class DocumentEncodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Pretty printed, keys sorted at every level, shortest round-trip numbers. The
// caller normalises first; a non-finite number throws DocumentEncodeError.
std::string encodeDocument(const CueDocument& document);

// Unknown keys are ignored. Throws DocumentDecodeError on malformed JSON, a
// missing or null required key, a wrong type, a non-whole integer or a track
// id that is not a UUID. The result is not normalised.
CueDocument decodeDocument(std::string_view bytes);

}  // namespace tavrel
