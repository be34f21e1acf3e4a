// Element and attribute counting with our XML reader and with expat.
#include "bench/exchange/XmlCounting.h"

#include <expat.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <type_traits>

#include "quantora/exchange/XmlReader.h"

namespace quantora::bench {

XmlCounts CountWithXmlReader(const std::string& path) {
    using namespace XmlExportImport;
    XmlFile file;
    XmlAtom atom;
    XmlCounts c;
    if (!file.Open(path.c_str())) throw std::runtime_error(file.ErrorMessage);
    while (file.GetNextAtom(atom)) {
        if (atom.Kind != AtomTag) continue;
        if (atom.Tag.Kind == TagOpening || atom.Tag.Kind == TagEmptyElement) {
            ++c.elements;
            c.attributes += static_cast<long long>(atom.Tag.Attributes.size());
        }
    }
    // The end of the file ends the reading; the document is whole when the root was closed.
    if (!file.RootOpened || !file.OpenTags.empty()) throw std::runtime_error(file.ErrorMessage);
    return c;
}

XmlCounts CountWithExpat(const std::string& path) {
    constexpr int kChunk = 64 * 1024;
    XmlCounts c;
    std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> parser(
        XML_ParserCreate(nullptr), &XML_ParserFree);
    if (!parser) throw std::runtime_error("expat: out of memory");
    XML_SetUserData(parser.get(), &c);
    XML_SetStartElementHandler(parser.get(),
                               [](void* data, const XML_Char*, const XML_Char** attributes) {
                                   auto* counts = static_cast<XmlCounts*>(data);
                                   ++counts->elements;
                                   for (const XML_Char** a = attributes; *a != nullptr; a += 2)
                                       ++counts->attributes;
                               });
    std::unique_ptr<std::FILE, decltype(&std::fclose)> f(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!f) throw std::runtime_error("cannot read " + path);
    for (;;) {
        void* buffer = XML_GetBuffer(parser.get(), kChunk);
        if (buffer == nullptr) throw std::runtime_error("expat: out of memory");
        const std::size_t n = std::fread(buffer, 1, kChunk, f.get());
        if (XML_ParseBuffer(parser.get(), static_cast<int>(n), n == 0) == XML_STATUS_ERROR)
            throw std::runtime_error(XML_ErrorString(XML_GetErrorCode(parser.get())));
        if (n == 0) break;
    }
    return c;
}

}  // namespace quantora::bench
