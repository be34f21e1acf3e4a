// The first key unused in the nuclide tables.
#include "quantora/nuclides/NuclideKeyGen.h"

#include <algorithm>
#include <string>

#include "quantora/dblayer/TQuery.h"

namespace quantora {

NuclideKeyGen::NuclideKeyGen(const char* dbName) {
    DbName = dbName;
    TQuery q;
    q.SetDatabaseName(dbName);
    for (const char* sql : {"SELECT MAX(ISOMER_ID) FROM ISOMER", "SELECT MAX(DECAY_ID) FROM DECAY",
                            "SELECT MAX(RADIATIONLIBRARY_ID) FROM RADIATIONLIBRARY"}) {
        q.SetSQL(sql);
        q.Open();
        if (!q.Fields()[0]->IsNull()) next_ = std::max(next_, q.Fields()[0]->AsInteger() + 1);
        q.Close();
    }
    q.SetSQL("SELECT RADIATION_ID FROM RADIATION");
    for (q.Open(); !q.Eof(); q.Next()) {
        const AnsiString k = q.Fields()[0]->AsString();
        if (k.empty() || k.size() > 9 ||
            !std::all_of(k.begin(), k.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        next_ = std::max(next_, std::stoi(k) + 1);
    }
}

}  // namespace quantora
