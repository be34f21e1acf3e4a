// Fuzz target: importing an arbitrary export file into a scratch SQLite database with the lab
// schema. The import runs in one transaction, so a failed import must leave the database exactly
// as it was: the row count of a table it reaches is compared before and after.

#include "quantora/base/Exception.h"
#include "quantora/exchange/XmlImporter.h"
#include "quantora/frame/SqlNames.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One row that a failed import must not lose.
    static const quantora::fuzz::ScratchDatabase db(
        "INSERT INTO SOURCE (SOURCE_ID, NAME) VALUES (999, 'kept')");
    static quantora::fuzz::InputFile input;
    input.Set(data, size);

    // The options vary with the input so that every path is reached; a file never needs
    // existing rows refused, as that only stops the import earlier.
    quantora::XmlImportOptions options;
    options.skipUnknownTables = size % 2 == 1;
    options.skipUnknownFields = size % 4 >= 2;
    options.replaceExistingRows = false;
    try {
        quantora::ImportXmlDatabase(db.name(), input.Path(), nullptr, options);
    } catch (const Exception&) {
    }
    // Nothing of a failed import stays, and a successful one into a table with rows is refused:
    // either way the SOURCE row is still there.
    if (db.Count("SOURCE WHERE NAME = 'kept'") != 1) std::abort();
    // Clear what was imported (only lab tables are written), so every run starts alike.
    for (const AnsiString& t : quantora::SchemaTableNames())
        db.Exec("DELETE FROM " + t + (t == "SOURCE" ? " WHERE SOURCE_ID <> 999" : ""));
    return 0;
}
