// Fuzz target: the XML pull reader on arbitrary file contents. Reads atoms until the end or the
// first error; an error must come with a message, and the open-tag stack may never claim more
// tags than were opened.

#include "quantora/exchange/XmlReader.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static quantora::fuzz::InputFile input;
    input.Set(data, size);

    XmlExportImport::XmlFile file;
    if (!file.Open(input.Path())) std::abort();
    XmlExportImport::XmlAtom atom;
    size_t opened = 0;
    // Every atom consumes at least one byte, so this bound is never reached by a correct reader.
    for (size_t steps = 0; steps <= size + 1; ++steps) {
        if (!file.GetNextAtom(atom)) {
            if (file.ErrorMessage.empty()) std::abort();
            return 0;
        }
        if (atom.Kind == XmlExportImport::AtomNone) return 0;
        if (atom.Kind == XmlExportImport::AtomTag) {
            if (atom.Tag.Kind == XmlExportImport::TagOpening) ++opened;
            (void)atom.Tag.FindAttr("name");
        }
        if (file.OpenTags.size() > opened) std::abort();
        if (file.Line < 1 || file.Line > static_cast<long long>(size) + 1) std::abort();
    }
    std::abort();  // the reader went on without consuming input
}
