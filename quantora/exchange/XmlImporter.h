// Import of an XML database export back into a database: every table section of the file is
// inserted into the table of the same name, all in one transaction, so that an import either
// completes or leaves the target as it was. Works on any engine of the database layer.
#pragma once

#include <vector>

#include "quantora/base/Types.h"

class StringLogger;

namespace quantora {

struct XmlImportOptions {
    // A target table that already holds rows: refuse the import (default), or delete its rows
    // first (inside the import's transaction).
    bool replaceExistingRows = false;
    // A table of the file that the database lacks: fail (default), or skip its section and
    // log a warning.
    bool skipUnknownTables = false;
    // A field of the file that the target table lacks: fail (default), or leave its values out
    // and log a warning.
    bool skipUnknownFields = false;
};

struct XmlImportResult {
    int tables = 0;                    // table sections imported
    long long rows = 0;                // rows inserted
    std::vector<AnsiString> warnings;  // also passed to the logger
};

// Imports the export file `fileName` into the open database `alias`, whose tables must exist
// already. Logs "%d records of table %s imported." per table (logger may be null). Any failure
// (unreadable or malformed file, unknown format version, a value that does not decode, a table
// or field the database lacks, a table with rows when replacing was not asked for, an error
// of the database) throws Exception naming the line and table, and nothing is imported.
//
// Values are decoded by the type each field description declares: integers, floats (the
// file's 15 significant digits), dates from day numbers (stored to the microsecond), strings
// with "&quot;" and "&#n;" decoded, hex with its line feeds skipped. An empty attribute is a
// null; the format writes an empty string or blob the same way, so those come back as null.
XmlImportResult ImportXmlDatabase(const AnsiString& alias, const AnsiString& fileName,
                                  StringLogger* logger = nullptr,
                                  const XmlImportOptions& options = {});

}  // namespace quantora

// The importer as the exporter's counterpart. Tables of the file that the database lacks are
// reported through the logger and skipped; everything else is as ImportXmlDatabase, including
// one transaction for the whole file: a refusal found in the file's tenth table (rows already
// there, a bad value) leaves the first nine unwritten too.
class QuantoraXmlImporter {
  public:
    static quantora::XmlImportResult ImportDatabase(const char* alias, const char* fileName,
                                                    StringLogger* logger,
                                                    bool replaceExistingRows = false);
};
