// Whole-database export to the XML exchange format. XmlExporter writes the pieces of the format
// (header, table sections with their field descriptions, one Record element per row, footer)
// for any dataset; QuantoraXmlExporter exports the lab tables of a database into one file.
#pragma once

#include <vector>

#include "quantora/base/Types.h"
#include "quantora/exchange/XmlFieldTypes.h"
#include "quantora/exchange/XmlOutputFile.h"

class TDataSet;
class TField;
class StringLogger;

class XmlExporter {
  public:
    // Lines 1 to 4 of the file: the XML declaration, the root, the format and the database.
    // The header and the footer go into `file` (File only when none is given).
    void ExportHeader(quantora::XmlOutputFile* file, const char* hostMachine, const char* dbName,
                      const char* dbVersion);
    // Closes the database element and the root.
    void ExportFooter(quantora::XmlOutputFile* file);
    // The table's opening tag, its field descriptions and the opening of its data. Writes into
    // File (the given file when File is not set).
    void ExportTableHeader(const char* tableName, TDataSet* dataSet, quantora::XmlOutputFile* file);
    void ExportTableFooter(const char* tableName, TDataSet* dataSet, quantora::XmlOutputFile* file);
    // One field description without its indentation.
    void ExportFieldDesc(TField* field);
    // The type name of a field type number; "" for unknown numbers.
    static const char* GetFieldTypeName(int fieldType);

    // Writes the empty attribute and returns true when the field is null.
    bool ExportNull(TField* field);
    // One attribute of the current row in the integer, float, string or hex form.
    void ExportIntegerField(TField* field);
    void ExportFloatField(TField* field);
    void ExportStringField(TField* field);
    void ExportBlobField(TField* field);

    // Exports the dataset from its current row to its end as one table section; returns the
    // number of rows written.
    int ExportDataSet(const char* tableName, TDataSet* dataSet, quantora::XmlOutputFile* file);

    // The file the table and field writers write into; set by ExportDataSet for one table.
    quantora::XmlOutputFile* File = nullptr;

  private:
    quantora::XmlOutputFile& Out(quantora::XmlOutputFile* fallback = nullptr) const;
    void AttributeStart(quantora::XmlOutputFile& out, const TField& field);
    static void AttributeEnd(quantora::XmlOutputFile& out) { out.Write("\" ", 2); }

    std::vector<quantora::XmlValueForm> forms_;  // per field of the table being written
};

class QuantoraXmlExporter : public XmlExporter {
  public:
    static constexpr const char* FormatVersion = "4.1";
    static constexpr const char* DatabaseVersion = "4.0";
    // The exported tables in file order; the list ends with a null entry.
    static const char* const ExportedTables[];

    explicit QuantoraXmlExporter(StringLogger* logger = nullptr) : Logger(logger) {}

    // Exports the tables of the list from the database `alias` into `fileName` (replaced).
    // Throws "Could not open output file." when the file cannot be created; errors of the
    // database layer pass through and leave the file incomplete.
    void ExportDatabase(const char* alias, const char* fileName);

    // Receives "%d records of table %s exported." per table; may be null.
    StringLogger* Logger;
};
