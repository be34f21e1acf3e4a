// The XML reader: tag syntax and its messages, the open-tag stack, line counting and references
// across buffer boundaries. Arbitrary bytes: the fuzz target.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "quantora/base/Format.h"
#include "quantora/exchange/XmlReader.h"
#include "tests/exchange/ExchangeTestSupport.h"

using namespace XmlExportImport;
using quantora::Format;
using Strings = std::vector<std::string>;

namespace {

// A file in the temporary directory with `content`, removed again at the end of the test.
struct TempFile : quantora::test::TempPath {
    explicit TempFile(const std::string& content) {
        quantora::test::WriteFileBytes(str(), content);
    }
};

// One string per atom: "?pi", "!decl", "open", "/close", "empty/", "#text".
std::string Summary(const XmlAtom& a) {
    if (a.Kind == AtomText) return "#" + a.Text;
    static const char* const prefix[] = {"", "", "/", "", "?", "!"};
    return prefix[a.Tag.Kind] + a.Tag.Name + (a.Tag.Kind == TagEmptyElement ? "/" : "");
}

struct ReadResult {
    Strings atoms;
    std::string error;
};

ReadResult ReadText(const std::string& content) {
    ReadResult r;
    XmlFile f;
    XmlAtom a;
    f.Open(TempFile(content).c_str());
    while (f.GetNextAtom(a)) r.atoms.push_back(Summary(a));
    r.error = f.ErrorMessage;
    return r;
}

std::string EndOfFile(long long line, long long pos) {
    return Format("Unexpected end of file near position (line %lld, position %lld)", line, pos);
}

}  // namespace

TEST(XmlReader, TagSyntaxAndItsMessages) {
    const std::vector<std::pair<std::string, std::string>> errors = {
        {"<>", "Illegal character found ('>', line 1, position 0)"},
        {"</ >", "Tag name not found (line 1, position 0)"},
        {"<a \"x\">", "Attribute name not found (line 1, position 0)"},
        {"<a\n x=1>", "Value opening \" not found (attribute x, line 2, position 3)"},
        {"<a x>",
         "Illegal character found, '=' or '[' expected ('>', attribute=x, line 1, position 0)"},
        {"<!x/>", "Slash (/) is not allowed here (line 1, position 0)"},
        {"<a?>", "Question mark (?) is not allowed here (line 1, position 0)"},
        {"<?xml version=\"1.0\">", "Tag closing '?' not found (line 1, position 0)"},
        {"<r>\n</r>\n</r>", "Closing tag found without opening tag (tag r, line 3, position 9)"},
        {"<a>\n<b/>\n</b>", "Opening/closing tag do not match (a <-> b, line 3, position 9)"},
        {"<!D r [ x ]>", "Tag starting '<' not found (attribute=r, line 1, position 0)"},
        {"<!D r [<!x>] x", "Tag closing '>' not found (tag D, line 1, position 0)"},
    };
    for (const auto& [text, message] : errors) EXPECT_EQ(ReadText(text).error, message) << text;
    const ReadResult closed = ReadText("<Table Name=\"t\">\n</TABLE>\n");  // case is ignored
    EXPECT_EQ(closed.atoms, (Strings{"Table", "/TABLE"}));
    EXPECT_EQ(closed.error, EndOfFile(3, 26));

    // White space inside the tag syntax; a quote from a reference opens a value; references in a
    // value are left in place; the bracket section of a declaration is kept without white space.
    TempFile spaced("< a\n  b = \"1\n&amp;2\"\r\n c=&quot;3\"\n/><!D r [\r\n <!E e \"v\">\r\n]>");
    XmlFile f;
    XmlAtom a;
    ASSERT_TRUE(f.Open(spaced.c_str()));
    ASSERT_TRUE(f.GetNextAtom(a));
    EXPECT_EQ(Summary(a), "a/");
    EXPECT_EQ(a.Tag.FindAttr("B"), "1\n&amp;2");
    EXPECT_EQ(a.Tag.FindAttr("c"), "3");
    EXPECT_EQ(f.Line, 4);
    EXPECT_EQ(f.LineStart, 34);
    EXPECT_FALSE(f.RootOpened);  // an empty-element tag opens nothing
    ASSERT_TRUE(f.GetNextAtom(a));
    EXPECT_EQ(Summary(a), "!D");
    EXPECT_TRUE(a.Tag.BracketSectionSeen);
    EXPECT_EQ(a.Tag.BracketText, "<!Ee\"v\">");
    EXPECT_FALSE(f.Open("/nonexistent/dir/file.xml"));
    EXPECT_EQ(f.ErrorMessage, "Could not open XML file");
    XmlFile never;  // never opened: reads nothing and stands at the start of line 1
    EXPECT_FALSE(never.GetNextAtom(a));
    EXPECT_EQ(std::make_pair(never.Line, never.LineStart), std::make_pair(1LL, 0LL));
}

TEST(XmlReader, LinesAndValuesAcrossBufferBoundaries) {
    // Shifting the units by every residue of their length puts some CR LF pair of a value, of
    // a text and of white space, and some reference, across a buffer boundary.
    const int units = 10000;
    for (const char* first : {"A", "&#65;"}) {
        const std::string unit = std::string("<r v=\"a\r\nb\"/>\r\n") + first + "\r\nz";
        for (std::size_t pad = 0; pad < unit.size(); ++pad) {
            std::string text(pad, ' ');
            for (int i = 0; i < units; ++i) text += unit;
            TempFile file(text + "<r/>");
            XmlFile f;
            XmlAtom a;
            ASSERT_TRUE(f.Open(file.c_str()));
            int bad = 0;
            for (int i = 0; i < units; ++i) {
                ASSERT_TRUE(f.GetNextAtom(a)) << f.ErrorMessage;
                bad += a.Tag.Name != "r" || a.Tag.FindAttr("v") != "a\nb";
                ASSERT_TRUE(f.GetNextAtom(a)) << f.ErrorMessage;
                bad += a.Text != "A\nz";
            }
            EXPECT_EQ(bad, 0) << first << " pad " << pad;
            ASSERT_TRUE(f.GetNextAtom(a));
            EXPECT_FALSE(f.GetNextAtom(a));
            const long long lastLineStart = pad + (units - 1) * unit.size() + 15;
            EXPECT_EQ(f.ErrorMessage, EndOfFile(1 + units, lastLineStart)) << first << pad;
        }
    }
}
