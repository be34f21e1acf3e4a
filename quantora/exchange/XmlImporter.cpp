// Import of an XML database export: the file is read atom by atom with the XML reader and
// checked against the format's structure; each table section becomes a prepared INSERT run once
// per Record element, all inside one transaction.
#include "quantora/exchange/XmlImporter.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/Database.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/SqlText.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/exchange/XmlExporter.h"
#include "quantora/exchange/XmlFieldTypes.h"
#include "quantora/exchange/XmlReader.h"
#include "quantora/exchange/internal/XmlValueDecode.h"
#include "quantora/frame/SqlNames.h"
#include "quantora/frame/StringLogger.h"
#include "quantora/frame/UiHooks.h"

using namespace XmlExportImport;
using quantora::db::SameName;

namespace quantora {
namespace {

constexpr int kRowsPerUiTurn = 1024;
// Day numbers of 0001-01-01 and 10000-01-01: the dates a database can hold.
constexpr double kFirstDay = -693593.0;
constexpr double kEndDay = 2958466.0;
// Bytes of a bad value quoted in a message.
constexpr int kQuotedValueBytes = 40;

const char* KindName(XmlValueKind k) {
    switch (k) {
        case XmlValueKind::Integer:
            return "an integer";
        case XmlValueKind::Float:
            return "a floating point number";
        case XmlValueKind::Date:
            return "a date";
        case XmlValueKind::Text:
            return "a text";
        case XmlValueKind::Binary:
            return "binary data";
        case XmlValueKind::None:
            break;
    }
    return "of unknown type";
}

// Whether values of kind `file` may be stored in a column of kind `column` without change.
bool Fits(XmlValueKind file, XmlValueKind column) {
    return file == column || (file == XmlValueKind::Integer && column == XmlValueKind::Float) ||
           (file == XmlValueKind::Text && column == XmlValueKind::Binary) ||
           (file == XmlValueKind::Binary && column == XmlValueKind::Text);
}

// One field of the table section being imported.
struct ImportField {
    AnsiString name;
    int type = ftUnknown;  // as declared in the file
    XmlValueForm form = XmlValueForm::None;
    XmlValueKind kind = XmlValueKind::None;
    TParam* param = nullptr;  // null when the target table lacks the field
};

class DatabaseImport {
  public:
    DatabaseImport(const AnsiString& alias, const AnsiString& fileName, StringLogger* logger,
                   const XmlImportOptions& options)
        : alias_(alias), fileName_(fileName), logger_(logger), options_(options) {}

    XmlImportResult Run();

  private:
    // Reading and checking the file's structure.
    void Next();
    bool IsTag(int kind, const char* name) const;
    void Expect(int kind, const char* name);
    AnsiString DescribeAtom() const;
    long long CurrentLine() const { return file_.Line + extraLines_; }
    [[noreturn]] void Fail(const AnsiString& what) const;

    void ReadHeader();
    void ImportTable(const AnsiString& table);
    void ReadFieldDescs(std::vector<ImportField>& fields);
    bool PrepareTarget(const AnsiString& table, std::vector<ImportField>& fields, TQuery& insert);
    void SkipTableData();
    void ImportRecord(std::vector<ImportField>& fields, TQuery& insert);
    void SetValue(ImportField& field, const AnsiString& text);
    void Warn(const AnsiString& text);

    const AnsiString& alias_;
    const AnsiString& fileName_;
    StringLogger* logger_;
    const XmlImportOptions& options_;

    XmlFile file_;
    XmlAtom atom_;
    // Line feeds inside attribute values read so far: the reader does not count them.
    long long extraLines_ = 0;
    AnsiString table_;  // the table section being read, for messages
    std::set<AnsiString> tablesSeen_;
    std::vector<char> assigned_;
    AnsiString scratch_;
    XmlImportResult result_;
};

void DatabaseImport::Fail(const AnsiString& what) const {
    if (table_.empty())
        throw quantora::BadFileError(
            Format("XML import of %s: %s (line %lld); nothing was imported", fileName_.c_str(),
                   what.c_str(), CurrentLine()));
    throw quantora::BadFileError(
        Format("XML import of %s: %s (table %s, line %lld); nothing was imported",
               fileName_.c_str(), what.c_str(), table_.c_str(), CurrentLine()));
}

void DatabaseImport::Warn(const AnsiString& text) {
    result_.warnings.push_back(text);
    if (logger_ != nullptr) logger_->AddMessage(text, 0);
}

void DatabaseImport::Next() {
    if (!file_.GetNextAtom(atom_)) Fail(file_.ErrorMessage);
}

bool DatabaseImport::IsTag(int kind, const char* name) const {
    return atom_.Kind == AtomTag && atom_.Tag.Kind == kind && SameName(atom_.Tag.Name, name);
}

AnsiString DatabaseImport::DescribeAtom() const {
    if (atom_.Kind == AtomText) return "text";
    const AnsiString& n = atom_.Tag.Name;
    switch (atom_.Tag.Kind) {
        case TagOpening:
            return Format("<%s>", n.c_str());
        case TagClosing:
            return Format("</%s>", n.c_str());
        case TagEmptyElement:
            return Format("<%s/>", n.c_str());
        case TagProcessingInstruction:
            return Format("<?%s?>", n.c_str());
        default:
            return Format("<!%s>", n.c_str());
    }
}

void DatabaseImport::Expect(int kind, const char* name) {
    Next();
    if (IsTag(kind, name)) return;
    const char* shape = kind == TagOpening ? "<%s>" : kind == TagClosing ? "</%s>" : "<%s/>";
    Fail(Format("%s expected, found %s", Format(shape, name).c_str(), DescribeAtom().c_str()));
}

XmlImportResult DatabaseImport::Run() {
    if (!file_.Open(fileName_.c_str()))
        throw quantora::NotFoundError(Format("XML import: could not open %s", fileName_.c_str()),
                                      quantora::NotFoundError::What::File);
    Transaction transaction(alias_);
    ReadHeader();
    for (;;) {
        Next();
        if (IsTag(TagClosing, "Database")) break;
        if (!IsTag(TagOpening, "Table"))
            Fail(Format("<Table> or </Database> expected, found %s", DescribeAtom().c_str()));
        ImportTable(atom_.Tag.FindAttr("Name"));
    }
    Expect(TagClosing, "QuantoraDatabases");
    transaction.Commit();
    file_.Close();
    return std::move(result_);
}

void DatabaseImport::ReadHeader() {
    Next();
    if (!IsTag(TagProcessingInstruction, "xml") && !IsTag(TagOpening, "QuantoraDatabases"))
        Fail("not a Quantora database export");
    if (atom_.Tag.Kind == TagProcessingInstruction) {
        Next();
        if (!IsTag(TagOpening, "QuantoraDatabases")) Fail("not a Quantora database export");
    }
    Expect(TagEmptyElement, "FormatVersion");
    if (atom_.Tag.FindAttr("Name") != "Quantora Database Format")
        Fail("not a Quantora database export");
    const AnsiString version = atom_.Tag.FindAttr("Version");
    if (version != QuantoraXmlExporter::FormatVersion)
        Fail(Format("format version '%s' is not known (known: %s)", version.c_str(),
                    QuantoraXmlExporter::FormatVersion));
    Expect(TagOpening, "Database");
    const AnsiString dbVersion = atom_.Tag.FindAttr("Version");
    if (dbVersion != QuantoraXmlExporter::DatabaseVersion)
        Fail(Format("database version '%s' is not known (known: %s)", dbVersion.c_str(),
                    QuantoraXmlExporter::DatabaseVersion));
}

void DatabaseImport::ImportTable(const AnsiString& table) {
    table_ = ShownName(table);
    // Table and field names go into SQL text: only plain identifiers are accepted.
    if (!IsSqlName(table)) Fail("the name is not a valid table name");
    AnsiString key = table;
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!tablesSeen_.insert(key).second) Fail("the table appears twice in the file");
    quantora::ProcessPendingMessages();

    std::vector<ImportField> fields;
    ReadFieldDescs(fields);
    Expect(TagOpening, "TableData");

    TQuery insert;
    bool target = false;
    try {
        target = PrepareTarget(table, fields, insert);
    } catch (const EDatabaseError& e) {
        Fail(e.Message);  // with the table and line named
    }
    if (!target) {
        SkipTableData();
    } else {
        int rows = 0;
        for (;;) {
            Next();
            if (IsTag(TagClosing, "TableData")) break;
            if (!IsTag(TagEmptyElement, "Record"))
                Fail(
                    Format("<Record/> or </TableData> expected, found %s", DescribeAtom().c_str()));
            ImportRecord(fields, insert);
            ++rows;
            if (rows % kRowsPerUiTurn == 0) quantora::ProcessPendingMessages();
        }
        ++result_.tables;
        result_.rows += rows;
        if (logger_ != nullptr)
            logger_->AddMessage(Format("%d records of table %s imported.", rows, table.c_str()), 0);
    }
    Expect(TagClosing, "Table");
    table_.clear();
}

void DatabaseImport::ReadFieldDescs(std::vector<ImportField>& fields) {
    Expect(TagOpening, "TableDesc");
    for (;;) {
        Next();
        if (IsTag(TagClosing, "TableDesc")) break;
        if (!IsTag(TagEmptyElement, "FieldDesc"))
            Fail(Format("<FieldDesc/> or </TableDesc> expected, found %s", DescribeAtom().c_str()));
        ImportField f;
        f.name = atom_.Tag.FindAttr("Name");
        if (!IsSqlName(f.name))
            Fail(Format("'%s' is not a valid field name", ShownName(f.name).c_str()));
        for (const ImportField& other : fields)
            if (SameName(other.name, f.name))
                Fail(Format("field %s is described twice", f.name.c_str()));
        const AnsiString type = atom_.Tag.FindAttr("Type");
        f.type = XmlFieldTypeNumber(type);
        if (f.type < 0)
            Fail(Format("field %s has the unknown type '%s'", f.name.c_str(), type.c_str()));
        f.form = XmlValueFormOf(f.type);
        f.kind = XmlValueKindOf(f.type);
        fields.push_back(std::move(f));
    }
    if (fields.empty()) Fail("the table has no field descriptions");
}

// Checks the target table, empties it when asked, and prepares the INSERT; false when the table
// is missing and is to be skipped.
bool DatabaseImport::PrepareTarget(const AnsiString& table, std::vector<ImportField>& fields,
                                   TQuery& insert) {
    // Only tables of the lab schema are written: a name from the file must not reach the
    // engine's own tables (sqlite_sequence, pg_catalog) or anything else the database holds.
    if (!IsSchemaTable(table)) {
        if (!options_.skipUnknownTables) Fail("the table is not a table of the lab schema");
        Warn(Format("Table %s is not a table of the lab schema: its rows are skipped.",
                    table.c_str()));
        return false;
    }
    if (!TableExists(alias_, table)) {
        if (!options_.skipUnknownTables) Fail("the table is not in the database");
        Warn(Format("Table %s is not in the database: its rows are skipped.", table.c_str()));
        return false;
    }
    // A live query reads at most one row: enough to see the columns and whether rows exist.
    // Any failure here is an error of the database, never a reason to skip the table.
    TQuery probe;
    probe.SetDatabaseName(alias_);
    probe.SetRequestLive(true);
    probe.SetSQL(Format("SELECT * FROM %s", table.c_str()));
    probe.Open();

    AnsiString names, marks;
    std::vector<TFieldType> columnTypes(fields.size(), ftUnknown);
    std::vector<bool> present(fields.size(), false);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const ImportField& f = fields[i];
        const TField* column = probe.FindField(f.name);
        if (column == nullptr) {
            if (!options_.skipUnknownFields)
                Fail(Format("field %s is not in the database table", f.name.c_str()));
            Warn(Format("Field %s of table %s is not in the database: its values are skipped.",
                        f.name.c_str(), table.c_str()));
            continue;
        }
        // An untyped column takes any value as it is.
        const XmlValueKind columnKind =
            column->DataType() == ftUnknown ? f.kind : XmlValueKindOf(column->DataType());
        if (!Fits(f.kind, columnKind))
            Fail(Format("field %s is %s in the file but %s in the database", f.name.c_str(),
                        KindName(f.kind), KindName(columnKind)));
        present[i] = true;
        columnTypes[i] = column->DataType();
        if (!names.empty()) {
            names += ", ";
            marks += ", ";
        }
        names += f.name;
        marks += ":" + f.name;
    }
    if (names.empty()) Fail("none of the table's fields is in the database");
    const bool hasRows = !probe.Eof();
    probe.Close();

    if (hasRows) {
        if (!options_.replaceExistingRows)
            Fail("the table already holds rows (replacing them was not asked for)");
        TQuery del;
        del.SetDatabaseName(alias_);
        del.SetSQL(Format("DELETE FROM %s", table.c_str()));
        del.ExecSQL();
    }

    insert.SetDatabaseName(alias_);
    insert.SetSQL(
        Format("INSERT INTO %s (%s) VALUES (%s)", table.c_str(), names.c_str(), marks.c_str()));
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (!present[i]) continue;
        TParam* p = insert.ParamByName(fields[i].name);
        // Values are bound in the column's own type.
        p->SetDataType(columnTypes[i]);
        fields[i].param = p;
    }
    insert.Prepare();
    return true;
}

// Reads the rest of a skipped table section, checking its structure only.
void DatabaseImport::SkipTableData() {
    for (;;) {
        Next();
        if (IsTag(TagClosing, "TableData")) return;
        if (!IsTag(TagEmptyElement, "Record"))
            Fail(Format("<Record/> or </TableData> expected, found %s", DescribeAtom().c_str()));
        for (const XmlAttribute& a : atom_.Tag.Attributes)
            for (char c : a.Value) extraLines_ += c == '\n';
    }
}

void DatabaseImport::ImportRecord(std::vector<ImportField>& fields, TQuery& insert) {
    assigned_.assign(fields.size(), 0);
    long long lineFeeds = 0;
    const std::vector<XmlAttribute>& attributes = atom_.Tag.Attributes;
    for (std::size_t a = 0; a < attributes.size(); ++a) {
        const XmlAttribute& attr = attributes[a];
        // Attributes come in field order; search only when one does not.
        std::size_t i = a;
        if (i >= fields.size() || !SameName(fields[i].name, attr.Name)) {
            for (i = 0; i < fields.size() && !SameName(fields[i].name, attr.Name); ++i) {
            }
            if (i == fields.size())
                Fail(Format("attribute %s is not a field of the table", attr.Name.c_str()));
        }
        if (assigned_[i]) Fail(Format("field %s is given twice in a record", attr.Name.c_str()));
        assigned_[i] = 1;
        for (char c : attr.Value) lineFeeds += c == '\n';
        if (fields[i].param == nullptr) continue;
        if (attr.Value.empty())
            fields[i].param->Clear();
        else
            SetValue(fields[i], attr.Value);
    }
    // A field the record leaves out is null.
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (!assigned_[i] && fields[i].param != nullptr) fields[i].param->Clear();
    try {
        insert.ExecSQL();
    } catch (const Exception& e) {
        Fail(e.Message);
    }
    extraLines_ += lineFeeds;
}

void DatabaseImport::SetValue(ImportField& field, const AnsiString& text) {
    auto bad = [&](const char* what) {
        Fail(Format("field %s: '%.*s%s' is not %s", field.name.c_str(),
                    static_cast<int>(std::min<std::size_t>(text.size(), kQuotedValueBytes)),
                    text.c_str(), text.size() > kQuotedValueBytes ? "..." : "", what));
    };
    switch (field.form) {
        case XmlValueForm::Integer: {
            int64_t v = 0;
            if (!DecodeXmlInteger(text, v)) bad("an integer");
            field.param->SetValue(Variant(v));
            return;
        }
        case XmlValueForm::Float: {
            double v = 0.0;
            if (!DecodeXmlFloat(text, v)) bad("a floating point number");
            if (field.kind == XmlValueKind::Date) {
                if (!(v >= kFirstDay && v < kEndDay)) bad("a day number of a date");
                field.param->SetValue(Variant::FromDate(SnapXmlDayNumber(v)));
            } else {
                field.param->SetValue(Variant(v));
            }
            return;
        }
        case XmlValueForm::String:
            DecodeXmlString(text, scratch_);
            field.param->SetValue(Variant(scratch_));
            return;
        case XmlValueForm::Hex: {
            std::size_t errorPos = 0;
            switch (DecodeXmlHex(text, scratch_, errorPos)) {
                case XmlHexResult::Ok:
                    break;
                case XmlHexResult::BadDigit: {
                    const auto c = static_cast<unsigned char>(text[errorPos]);
                    Fail(Format(c > 32 && c < 127
                                    ? "field %s: '%c' at offset %zu is not a hex digit"
                                    : "field %s: byte %d at offset %zu is not a hex digit",
                                field.name.c_str(), c, errorPos));
                }
                case XmlHexResult::OddDigitCount:
                    Fail(Format("field %s: the hex value has an odd number of digits",
                                field.name.c_str()));
            }
            if (field.kind == XmlValueKind::Integer) {
                int64_t v = 0;
                if (!DecodeXmlInteger(scratch_, v)) bad("the hex form of an integer");
                field.param->SetValue(Variant(v));
            } else if (field.kind == XmlValueKind::Text) {
                field.param->SetValue(Variant(scratch_));
            } else {
                field.param->SetValue(Variant::FromBlob(scratch_));
            }
            return;
        }
        case XmlValueForm::None:
            break;
    }
    Fail(Format("field %s has a type without a value form", field.name.c_str()));
}

}  // namespace

XmlImportResult ImportXmlDatabase(const AnsiString& alias, const AnsiString& fileName,
                                  StringLogger* logger, const XmlImportOptions& options) {
    return DatabaseImport(alias, fileName, logger, options).Run();
}

}  // namespace quantora

quantora::XmlImportResult QuantoraXmlImporter::ImportDatabase(const char* alias,
                                                              const char* fileName,
                                                              StringLogger* logger,
                                                              bool replaceExistingRows) {
    quantora::XmlImportOptions options;
    options.replaceExistingRows = replaceExistingRows;
    options.skipUnknownTables = true;
    return quantora::ImportXmlDatabase(alias, fileName, logger, options);
}
