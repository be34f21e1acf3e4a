// Pull reader for XML text files, made for the database export format: a file hands out atoms
// (tags with their attributes, or runs of text), checks that closing tags match the open ones and
// reports the first error as a message with the line. Attribute values and texts are returned
// as they stand in the file; decoding "&quot;" and "&#n;" is the caller's.
#pragma once

#include <deque>
#include <vector>

#include "quantora/base/Types.h"
#include "quantora/exchange/XmlInputBuffer.h"

namespace XmlExportImport {

struct XmlAttribute {
    AnsiString Name;
    AnsiString Value;
};

// Values of XmlTag::Kind.
enum XmlTagKind : int {
    TagNone = 0,
    TagOpening = 1,                // <name ...>
    TagClosing = 2,                // </name>
    TagEmptyElement = 3,           // <name .../>
    TagProcessingInstruction = 4,  // <?name ...?>
    TagDeclaration = 5,            // <!name ...>
};

// Values of XmlAtom::Kind.
enum XmlAtomKind : int {
    AtomNone = 0,
    AtomTag = 1,
    AtomText = 2,
};

class XmlFile;

}  // namespace XmlExportImport

namespace quantora {

// Attributes a tag has dropped, kept with their string capacity so that reading the next tag
// into the same object allocates nothing. Copies start empty.
class XmlAttributeSpares {
  public:
    XmlAttributeSpares() = default;
    XmlAttributeSpares(const XmlAttributeSpares&) {}
    XmlAttributeSpares& operator=(const XmlAttributeSpares&) { return *this; }
    XmlAttributeSpares(XmlAttributeSpares&&) noexcept = default;
    XmlAttributeSpares& operator=(XmlAttributeSpares&&) noexcept = default;

    // Empties `list`, keeping its attributes as spares.
    void Recycle(std::vector<XmlExportImport::XmlAttribute>& list);
    // Appends an attribute with empty name and value to `list`.
    XmlExportImport::XmlAttribute& Append(std::vector<XmlExportImport::XmlAttribute>& list);
    // Removes the last attribute of `list` into the spares.
    void DropLast(std::vector<XmlExportImport::XmlAttribute>& list);

  private:
    std::vector<XmlExportImport::XmlAttribute> spares_;
};

}  // namespace quantora

namespace XmlExportImport {

class XmlTag {
  public:
    // Reads one tag beginning at the next "<".
    bool Read(XmlFile* file);
    void Reset();
    // Value of the first attribute named `name` (letter case ignored), or the empty string.
    AnsiString FindAttr(const AnsiString& name) const;

    bool BracketSectionSeen = false;
    AnsiString BracketText;
    int Kind = TagNone;
    AnsiString Name;
    std::vector<XmlAttribute> Attributes;

  private:
    bool ReadBracketSection(XmlFile& file, const AnsiString& attributeName);

    quantora::XmlAttributeSpares spares_;
};

class XmlAtom {
  public:
    // Reads one atom without touching the file's open-tag stack.
    bool GetXmlAtom(XmlFile* file);
    void Reset();

    int Kind = AtomNone;
    XmlTag Tag;
    AnsiString Text;
};

class XmlFile {
  public:
    XmlFile() = default;
    XmlFile(const XmlFile&) = delete;
    XmlFile& operator=(const XmlFile&) = delete;
    XmlFile(XmlFile&&) noexcept = default;
    XmlFile& operator=(XmlFile&&) noexcept = default;

    // Opens the file (closing one opened before, which empties the open-tag stack); false with
    // "Could not open XML file".
    bool Open(const char* fileName);
    // Reads the next atom and keeps the open-tag stack; false on error, see ErrorMessage.
    bool GetNextAtom(XmlAtom& atom);
    // Closes the file and empties the open-tag stack.
    void Close();
    bool IsOpen() const { return Input.IsOpen(); }

    // Set when an opening tag was read while no tag was open.
    bool RootOpened = false;
    // Names of the open tags, innermost last.
    std::deque<AnsiString> OpenTags;

  private:
    quantora::XmlInputBuffer Input;

  public:
    AnsiString ErrorMessage;
    long long Line = 1;
    // File offset of the first byte of the current line.
    long long LineStart = 0;

  private:
    friend class XmlTag;
    friend class XmlAtom;

    bool Fail(AnsiString message);
    bool FailEndOfFile();
    bool SkipWhiteSpace();
    bool ReadChar(int& c, bool& fromReference);
    bool ReadReference(int& c, bool& fromReference);
    void PutBack(int c) { pushedBack_ = c; }
    bool ReadName(AnsiString& name);
    bool ReadValue(AnsiString& value);
    bool ReadText(AnsiString& text);

    int pushedBack_ = -1;  // a character put back in front of the input, or -1
};

}  // namespace XmlExportImport
