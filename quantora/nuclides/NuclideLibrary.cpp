// A radiation library of chosen nuclides.
#include "quantora/nuclides/NuclideLibrary.h"

#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/frame/IntKeyGen.h"

namespace quantora {

int MakeNuclideLibrary(const char* dbName, const AnsiString& name,
                       const std::vector<AnsiString>& symbols) {
    Transaction t(dbName);
    DbKeyGen keys(dbName, "RADIATIONLIBRARY", "RADIATIONLIBRARY");
    const int libraryId = keys.NextKey();
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL("INSERT INTO RADIATIONLIBRARY (RADIATIONLIBRARY_ID, NAME) VALUES (:id, :name)");
    q.ParamByName("id")->SetAsInteger(libraryId);
    q.ParamByName("name")->SetAsString(name.substr(0, 100));
    q.ExecSQL();
    q.SetSQL(
        "INSERT INTO RADLIB_TRANSFORM (RADIATIONLIBRARY_ID, DECAY_ID) SELECT :lib, D.DECAY_ID "
        "FROM DECAY D JOIN ISOMER I ON I.ISOMER_ID = D.ISOMER_ID WHERE I.SYMBOL = :symbol AND "
        "I.ISOMERNUM = :state");
    for (const AnsiString& symbol : symbols) {
        const bool metastable = symbol.size() > 1 && symbol.back() == 'm';
        q.ParamByName("lib")->SetAsInteger(libraryId);
        q.ParamByName("symbol")->SetAsString(metastable ? symbol.substr(0, symbol.size() - 1)
                                                        : symbol);
        q.ParamByName("state")->SetAsInteger(metastable ? 1 : 0);
        q.ExecSQL();
        if (q.RowsAffected() == 0)
            throw quantora::NotFoundError(
                Format("no decay of %s in the nuclide tables (load them with 'qdb "
                       "nuclides load')",
                       symbol.c_str()));
    }
    t.Commit();
    return libraryId;
}

}  // namespace quantora
