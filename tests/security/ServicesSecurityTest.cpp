// Hostile blob chunk owner types (put into SQL as literals): each round-trips or is refused with
// a clear error, and every other row of the database stays as it was.
#include <gtest/gtest.h>

#include "quantora/base/Exception.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/IntKeyGen.h"
#include "quantora/services/Blobutil.h"
#include "tests/exchange/ExchangeTestSupport.h"
#include "tests/security/SecurityTestSupport.h"
#include "tests/support/TestDatabase.h"

using namespace quantora::test;

namespace {

constexpr int kChunk = 16;

TEST(BlobChunkOwnerType, HostileOwnerTypesRoundTripAndTouchNothingElse) {
    TestDatabase db(true);
    FillBystanderRows(db.alias());
    quantora::CountingKeyGen keys(1000, db.alias());
    // A bystander value with the same owner ids as every hostile one.
    const AnsiString kept = AnsiString(5 * kChunk + 3, 1);
    StoreBlobChunks(kept, "SPECTRUM", 7, 1, 1, nullptr, &keys, 1, kChunk);
    const TableDump before = DumpTables(db.alias());
    AnsiString back;
    auto store = [&](const AnsiString& value, const AnsiString& owner) {
        StoreBlobChunks(value, owner, 7, 1, 1, nullptr, &keys, 1, kChunk);
    };
    auto read = [&](const AnsiString& owner) {
        ReadBlobChunks(back, owner, 7, 1, 1, nullptr, kChunk, db.alias());
        return back;
    };

    std::vector<AnsiString> owners = HostileTexts();
    owners.push_back(AnsiString(40, '\''));  // the longest owner type the column holds
    if (db.engine() == TestEngine::SQLite) owners.push_back("\xC3\x28 \xFF invalid UTF-8");
    unsigned seed = 2;
    for (const AnsiString& owner : owners) {
        const AnsiString value = AnsiString(3 * kChunk + 1, static_cast<char>(++seed));
        store(value, owner);
        EXPECT_EQ(read(owner), value) << owner;
        // Stored under exactly this owner type.
        TQuery q;
        q.SetDatabaseName(db.alias());
        q.SetSQL("SELECT COUNT(*) FROM BLOBCHUNK WHERE OWNERTYPE = :t");
        q.ParamByName("t")->SetAsString(owner);
        q.Open();
        EXPECT_EQ(q.Fields()[0]->AsInteger(), 4) << owner;
        // Replacing and deleting reach this owner's rows only.
        store(value.substr(0, kChunk + 1), owner);
        EXPECT_EQ(read(owner), value.substr(0, kChunk + 1)) << owner;
        DeleteBlobChunks(owner, 7, 0, 0, db.alias());
        EXPECT_TRUE(read(owner).empty()) << owner;
        EXPECT_EQ(DumpTables(db.alias()), before) << owner;
    }
    EXPECT_EQ(read("SPECTRUM"), kept);

    // "SPECTRUM\0..." must not reach the rows of "SPECTRUM" in any of the three operations.
    const AnsiString zero("SPECTRUM\0' OR 1=1 --", 20);
    back = "untouched";
    for (int op = 0; op < 3; ++op) {
        EXPECT_EQ(Raised([&] {
                      if (op == 0) store(AnsiString(40, 2), zero);
                      if (op == 1) read(zero);
                      if (op == 2) DeleteBlobChunks(zero, 7, 0, 0, db.alias());
                  }).Message,
                  "BLOB chunks: the owner type contains a zero byte")
            << op;
        EXPECT_EQ(DumpTables(db.alias()), before) << op;
    }
    EXPECT_TRUE(back.empty());
}

}  // namespace
