// Reading the recorded schema version.
#include "quantora/lab/SchemaVersion.h"

#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"

namespace quantora {

int StoredSchemaVersion(const char* dbName) {
    try {
        TQuery q;
        q.SetDatabaseName(dbName);
        q.SetSQL("SELECT MAX(VERSION) FROM SCHEMAVERSION");
        q.Open();
        return q.Eof() || q.Fields()[0]->IsNull() ? -1 : q.Fields()[0]->AsInteger();
    } catch (const EDatabaseError& e) {
        // No such table; a lost connection or a locked file is an error of its own.
        if (e.Category() == DbErrorCategory::Syntax) return -1;
        throw;
    }
}

}  // namespace quantora
