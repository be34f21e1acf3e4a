// Pull reader for XML text files: lexical steps of XmlFile, tags, atoms and the open-tag stack.
#include "quantora/exchange/XmlReader.h"

#include <cstring>

#include "quantora/base/Format.h"

using quantora::Format;

namespace quantora {

void XmlAttributeSpares::Recycle(std::vector<XmlExportImport::XmlAttribute>& list) {
    // Last first, so that Append hands the first attribute its former buffers again.
    for (auto it = list.rbegin(); it != list.rend(); ++it) spares_.push_back(std::move(*it));
    list.clear();
}

XmlExportImport::XmlAttribute& XmlAttributeSpares::Append(
    std::vector<XmlExportImport::XmlAttribute>& list) {
    if (spares_.empty()) return list.emplace_back();
    XmlExportImport::XmlAttribute& a = list.emplace_back(std::move(spares_.back()));
    spares_.pop_back();
    a.Name.clear();
    a.Value.clear();
    return a;
}

void XmlAttributeSpares::DropLast(std::vector<XmlExportImport::XmlAttribute>& list) {
    spares_.push_back(std::move(list.back()));
    list.pop_back();
}

}  // namespace quantora

namespace XmlExportImport {

namespace {

constexpr std::size_t kMaxReferenceName = 199;

bool IsSpace(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

struct NameCharTable {
    bool is[256] = {};
    constexpr NameCharTable() {
        for (int c = 'a'; c <= 'z'; ++c) is[c] = true;
        for (int c = 'A'; c <= 'Z'; ++c) is[c] = true;
        for (int c = '0'; c <= '9'; ++c) is[c] = true;
        for (unsigned char c : {'_', '-', '.', '@', '$'}) is[c] = true;
    }
};
constexpr NameCharTable kNameChars;

bool IsNameChar(int c) {
    return c >= 0 && c < 256 && kNameChars.is[c];
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(const AnsiString& a, const AnsiString& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// XmlFile: opening, the lexical steps and the open-tag stack

bool XmlFile::Open(const char* fileName) {
    Close();
    ErrorMessage.clear();
    Line = 1;
    LineStart = 0;
    RootOpened = false;
    if (!Input.Open(fileName)) {
        ErrorMessage = "Could not open XML file";
        return false;
    }
    return true;
}

void XmlFile::Close() {
    Input.Close();
    OpenTags.clear();
    pushedBack_ = -1;
}

bool XmlFile::Fail(AnsiString message) {
    ErrorMessage = std::move(message);
    return false;
}

bool XmlFile::FailEndOfFile() {
    return Fail(
        Format("Unexpected end of file near position (line %lld, position %lld)", Line, LineStart));
}

bool XmlFile::SkipWhiteSpace() {
    if (pushedBack_ >= 0) {
        if (!IsSpace(pushedBack_)) return true;
        const int c = pushedBack_;
        pushedBack_ = -1;
        if (c == '\n') {
            ++Line;
            LineStart = Input.Offset();
        }
    }
    for (;;) {
        std::size_t n = Input.Available();
        if (n == 0 && (n = Input.Fill(1)) == 0) return FailEndOfFile();
        const char* p = Input.Data();
        std::size_t i = 0;
        while (i < n && IsSpace(static_cast<unsigned char>(p[i]))) {
            if (p[i] == '\n') {
                ++Line;
                LineStart = Input.Offset() + static_cast<long long>(i) + 1;
            }
            ++i;
        }
        Input.Skip(i);
        if (i < n) return true;
    }
}

bool XmlFile::ReadChar(int& c, bool& fromReference) {
    if (!SkipWhiteSpace()) return false;
    fromReference = false;
    if (pushedBack_ >= 0) {
        c = pushedBack_;
        pushedBack_ = -1;
    } else if ((c = Input.Get()) < 0) {
        return FailEndOfFile();
    }
    if (c == '&') return ReadReference(c, fromReference);
    return true;
}

// Reads the reference name after "&" and decodes it; an unknown name leaves the input right
// after the "&", so that its bytes are read again as ordinary characters.
bool XmlFile::ReadReference(int& c, bool& fromReference) {
    // A name of up to 199 bytes plus the byte after it, each possibly a CR LF pair.
    const std::size_t n = Input.Fill(2 * (kMaxReferenceName + 1) + 1);
    const char* p = Input.Data();
    char name[kMaxReferenceName + 1];
    std::size_t len = 0;
    std::size_t i = 0;
    bool terminated = false;
    while (!terminated) {
        if (i >= n) return FailEndOfFile();
        char ch = p[i++];
        if (ch == '\r' && i < n && p[i] == '\n') {
            ch = '\n';
            ++i;
        }
        if (ch == ';')
            terminated = true;
        else if (len == kMaxReferenceName)
            break;
        else
            name[len++] = ch;
    }
    name[len] = '\0';
    if (!terminated || len == 0) {
        Input.Skip(i);
        return Fail(Format("Too long keyword found (line %lld, position %lld, string: '%10s...')",
                           Line, LineStart, name));
    }
    if (len == 4 && std::memcmp(name, "quot", 4) == 0) {
        Input.Skip(i);
        c = '"';
        fromReference = true;
        return true;
    }
    if (name[0] == '#') {
        int value = 0;
        bool digits = len >= 2 && len <= 4;
        for (std::size_t k = 1; digits && k < len; ++k) {
            if (name[k] < '0' || name[k] > '9') digits = false;
            value = value * 10 + (name[k] - '0');
        }
        Input.Skip(i);
        // Three digits reach 999; only byte values make a character.
        if (!digits || value > 255)
            return Fail(Format("Illegal character code found (line %lld, position %lld, code:'%s')",
                               Line, LineStart, name));
        c = value;
        fromReference = true;
        return true;
    }
    c = '&';
    return true;
}

bool XmlFile::ReadName(AnsiString& name) {
    if (!SkipWhiteSpace()) return false;
    if (pushedBack_ >= 0) {
        if (!IsNameChar(pushedBack_)) return true;
        name.push_back(static_cast<char>(pushedBack_));
        pushedBack_ = -1;
    }
    for (;;) {
        std::size_t n = Input.Available();
        if (n == 0 && (n = Input.Fill(1)) == 0) return FailEndOfFile();
        const char* p = Input.Data();
        std::size_t i = 0;
        while (i < n && kNameChars.is[static_cast<unsigned char>(p[i])]) ++i;
        name.append(p, i);
        Input.Skip(i);
        if (i < n) return true;  // the byte after the name stays unread
    }
}

bool XmlFile::ReadValue(AnsiString& value) {
    if (pushedBack_ >= 0) {
        const int c = pushedBack_;
        pushedBack_ = -1;
        if (c == '"') return true;
        value.push_back(static_cast<char>(c));
    }
    if (!Input.AppendUntil('"', value)) return FailEndOfFile();
    Input.Skip(1);
    return true;
}

bool XmlFile::ReadText(AnsiString& text) {
    if (pushedBack_ >= 0) {
        if (pushedBack_ == '<') return true;
        text.push_back(static_cast<char>(pushedBack_));
        pushedBack_ = -1;
    }
    if (!Input.AppendUntil('<', text)) return FailEndOfFile();
    return true;
}

bool XmlFile::GetNextAtom(XmlAtom& atom) {
    if (!atom.GetXmlAtom(this)) return false;
    if (atom.Kind != AtomTag) return true;
    const XmlTag& tag = atom.Tag;
    if (tag.Kind == TagOpening) {
        if (OpenTags.empty()) RootOpened = true;
        OpenTags.push_back(tag.Name);
    } else if (tag.Kind == TagClosing) {
        if (OpenTags.empty())
            return Fail(
                Format("Closing tag found without opening tag (tag %s, line %lld, position %lld)",
                       tag.Name.c_str(), Line, LineStart));
        if (!EqualNoCase(OpenTags.back(), tag.Name))
            return Fail(
                Format("Opening/closing tag do not match (%s <-> %s, line %lld, position %lld)",
                       OpenTags.back().c_str(), tag.Name.c_str(), Line, LineStart));
        OpenTags.pop_back();
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// XmlTag

void XmlTag::Reset() {
    Kind = TagNone;
    Name.clear();
    spares_.Recycle(Attributes);
    BracketSectionSeen = false;
    BracketText.clear();
}

AnsiString XmlTag::FindAttr(const AnsiString& name) const {
    for (const XmlAttribute& a : Attributes)
        if (EqualNoCase(a.Name, name)) return a.Value;
    return AnsiString();
}

bool XmlTag::Read(XmlFile* file) {
    Reset();
    if (file == nullptr || !file->IsOpen()) return false;
    XmlFile& f = *file;
    int c = 0;
    bool fromReference = false;

    if (!f.SkipWhiteSpace() || !f.ReadChar(c, fromReference)) return false;
    if (c != '<')
        return f.Fail(
            Format("Tag starting '<' not found (line %lld, position %lld)", f.Line, f.LineStart));

    if (!f.ReadChar(c, fromReference)) return false;
    if (c == '!') {
        Kind = TagDeclaration;
    } else if (c == '?') {
        Kind = TagProcessingInstruction;
    } else if (c == '/') {
        Kind = TagClosing;
        if (!f.ReadName(Name)) return false;
        if (Name.empty())
            return f.Fail(
                Format("Tag name not found (line %lld, position %lld)", f.Line, f.LineStart));
        if (!f.ReadChar(c, fromReference)) return false;
        if (c != '>')
            return f.Fail(Format("Tag closing '>' not found (line %lld, position %lld)", f.Line,
                                 f.LineStart));
        return true;
    } else if (IsNameChar(c)) {
        Kind = TagOpening;
        f.PutBack(c);
    } else {
        return f.Fail(Format("Illegal character found ('%c', line %lld, position %lld)", c, f.Line,
                             f.LineStart));
    }

    if (!f.ReadName(Name)) return false;
    if (Name.empty())
        return f.Fail(Format("Tag name not found (line %lld, position %lld)", f.Line, f.LineStart));

    for (;;) {
        if (!f.ReadChar(c, fromReference)) return false;
        if (c == '/') {
            if (Kind != TagOpening)
                return f.Fail(Format("Slash (/) is not allowed here (line %lld, position %lld)",
                                     f.Line, f.LineStart));
            Kind = TagEmptyElement;
            if (!f.ReadChar(c, fromReference)) return false;
            if (c != '>')
                return f.Fail(Format("Tag closing '>' not found (line %lld, position %lld)", f.Line,
                                     f.LineStart));
            return true;
        }
        if (c == '?') {
            if (Kind != TagProcessingInstruction)
                return f.Fail(
                    Format("Question mark (?) is not allowed here (line %lld, position %lld)",
                           f.Line, f.LineStart));
            if (!f.ReadChar(c, fromReference)) return false;
            if (c != '>')
                return f.Fail(Format("Tag closing '>' not found (line %lld, position %lld)", f.Line,
                                     f.LineStart));
            return true;
        }
        if (c == '>') {
            if (Kind == TagProcessingInstruction)
                return f.Fail(Format("Tag closing '?' not found (line %lld, position %lld)", f.Line,
                                     f.LineStart));
            return true;
        }

        f.PutBack(c);
        XmlAttribute& attr = spares_.Append(Attributes);
        if (!f.ReadName(attr.Name)) return false;
        if (attr.Name.empty())
            return f.Fail(
                Format("Attribute name not found (line %lld, position %lld)", f.Line, f.LineStart));
        if (!f.ReadChar(c, fromReference)) return false;
        if (c == '=') {
            if (!f.ReadChar(c, fromReference)) return false;
            if (c != '"')
                return f.Fail(
                    Format("Value opening \" not found (attribute %s, line %lld, position %lld)",
                           attr.Name.c_str(), f.Line, f.LineStart));
            if (!f.ReadValue(attr.Value)) return false;
        } else if (c == '[') {
            // The name before the bracket is not an attribute; keep it for the messages only.
            const AnsiString dropped = attr.Name;
            spares_.DropLast(Attributes);
            return ReadBracketSection(f, dropped);
        } else {
            return f.Fail(Format(
                "Illegal character found, '=' or '[' expected ('%c', attribute=%s, line %lld, "
                "position %lld)",
                c, attr.Name.c_str(), f.Line, f.LineStart));
        }
    }
}

// A bracketed section such as the internal subset of a document type: a sequence of <...>
// groups (nested brackets counted) up to "]", then the ">" that ends the tag.
bool XmlTag::ReadBracketSection(XmlFile& f, const AnsiString& attributeName) {
    BracketSectionSeen = true;
    int c = 0;
    bool fromReference = false;
    for (;;) {
        if (!f.ReadChar(c, fromReference)) return false;
        if (c == ']') break;
        if (c != '<')
            return f.Fail(
                Format("Tag starting '<' not found (attribute=%s, line %lld, position %lld)",
                       attributeName.c_str(), f.Line, f.LineStart));
        BracketText.push_back('<');
        long long depth = 1;
        while (depth > 0) {
            if (!f.ReadChar(c, fromReference)) return false;
            BracketText.push_back(static_cast<char>(c));
            if (c == '<')
                ++depth;
            else if (c == '>')
                --depth;
        }
    }
    if (!f.ReadChar(c, fromReference)) return false;
    if (c != '>')
        return f.Fail(Format("Tag closing '>' not found (tag %s, line %lld, position %lld)",
                             Name.c_str(), f.Line, f.LineStart));
    return true;
}

// ---------------------------------------------------------------------------------------------
// XmlAtom

void XmlAtom::Reset() {
    Kind = AtomNone;
    Tag.Reset();
    Text.clear();
}

bool XmlAtom::GetXmlAtom(XmlFile* file) {
    Reset();
    if (file == nullptr || !file->IsOpen()) return false;
    int c = 0;
    bool fromReference = false;
    // End of file here, between atoms, is an error too: the caller judges completeness from
    // the open-tag stack. A bad reference keeps its own message.
    if (!file->ReadChar(c, fromReference)) return false;
    if (c == '<' && !fromReference) {
        Kind = AtomTag;
        file->PutBack(c);
        return Tag.Read(file);
    }
    Kind = AtomText;
    Text.push_back(static_cast<char>(c));
    return file->ReadText(Text);
}

}  // namespace XmlExportImport
