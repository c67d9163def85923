// Any bytes: decoding either refuses them or gives a document that normalises
// to a valid one, stays put under a second normalisation, and survives being
// written and read back unchanged.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "document_invariants.h"
#include "model/document_json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavrel;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    CueDocument document;
    try {
        document = decodeDocument(bytes);
    } catch (const DocumentDecodeError&) {
        return 0;
    }
    document.normalize();
    fuzz::requireValid(document);

    CueDocument again = document;
    again.normalize();
    fuzz::require(again == document, "normalize is idempotent");

    // Decoded strings are valid UTF-8, so nothing is replaced on the way out.
    const std::string encoded = encodeDocument(document);
    CueDocument reread;
    try {
        reread = decodeDocument(encoded);
    } catch (const DocumentDecodeError&) {
        fuzz::violated("an encoded document decodes");
    }
    fuzz::require(reread == document, "a normalised document round-trips exactly");
    fuzz::require(encodeDocument(reread) == encoded, "encoding is stable");
    return 0;
}
