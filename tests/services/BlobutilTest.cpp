// Blob chunk storage: layouts with and without an owner field, owner selection (widening by
// owner id 2 and data type), broken chains, bad arguments. Hostile owner types are the security
// suite's.
#include <gtest/gtest.h>

#include <vector>

#include "quantora/base/Exception.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/services/Blobutil.h"
#include "tests/support/TestDatabase.h"

using quantora::Format;

namespace {

// `n` bytes running through all 256 values (zero included) in a shifting order.
AnsiString Bytes(size_t n, unsigned seed = 0) {
    AnsiString s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 256 + seed) & 0xFF);
    return s;
}

class BlobChunkTest : public ::testing::Test {
  protected:
    // SERIAL, DATASIZE, key, previous key (-1 for null) and bytes of an owner's chunk rows.
    struct Row {
        int serial, size, id, prev;
        AnsiString data;
    };
    std::vector<Row> Rows(const AnsiString& type, int id1) {
        TQuery q;
        q.SetDatabaseName(db.alias());
        q.SetSQL(
            Format("select serial, datasize, blobchunk_id, prevblobchunk_id, data from "
                   "blobchunk where ownertype = '%s' and ownerid1 = %d order by serial",
                   type.c_str(), id1));
        std::vector<Row> rows;
        for (q.Open(); !q.Eof(); q.Next()) {
            const TFields& f = q.Fields();
            rows.push_back({f[0]->AsInteger(), f[1]->AsInteger(), f[2]->AsInteger(),
                            f[3]->IsNull() ? -1 : f[3]->AsInteger(), f[4]->AsString()});
        }
        return rows;
    }

    // A chunk row of owner ("raw", id1) written directly, as a damaged database might hold it.
    void Raw(int id1, int serial, const char* data) {
        TQuery q;
        q.SetDatabaseName(db.alias());
        q.SetSQL(
            "insert into blobchunk (ownertype, ownerid1, serial, data, blobchunk_id) values "
            "('raw', :o, :s, :d, :id)");
        q.ParamByName("o")->SetAsInteger(id1);
        q.ParamByName("s")->SetAsInteger(serial);
        q.ParamByName("d")->SetAsBlob(data ? data : "");
        if (!data) q.ParamByName("d")->Clear();
        q.ParamByName("id")->SetAsInteger(++rawKey);
        q.ExecSQL();
    }
    // The message ReadBlobChunks throws for ("raw", id1) ("" when none); `read` gets the value.
    AnsiString Broken(int id1, AnsiString& read, size_t limit = SIZE_MAX) {
        read = "stale";
        try {
            ReadBlobChunks(read, "raw", id1, 0, 0, nullptr, 4, db.alias(), limit);
        } catch (const Exception& e) {
            return e.Message;
        }
        return "";
    }
    AnsiString Read(const AnsiString& type, int id1, int id2, int dataType) {
        AnsiString v = "stale";
        ReadBlobChunks(v, type, id1, id2, dataType, nullptr, 4, db.alias());
        return v;
    }
    void Store(const AnsiString& v, const AnsiString& type, int id1, int id2 = 0, int dt = 0) {
        StoreBlobChunks(v, type, id1, id2, dt, nullptr, &keys, 1, 4);
    }
    // A live query on a table of owner rows with a head field.
    void OwnerTable(TQuery& owner) {
        db.Exec("CREATE TABLE OWNERROW (OWNERROW_ID INTEGER NOT NULL PRIMARY KEY, HEAD BLOB)");
        owner.SetDatabaseName(db.alias());
        owner.SetRequestLive(true);
    }

    quantora::test::TestDatabase db{true};
    quantora::CountingKeyGen keys{1, db.alias()};
    int rawKey = 1000;
};

TEST_F(BlobChunkTest, ValuesWithoutOwnerFieldRoundTripAsChainsOfFullChunks) {
    const std::pair<size_t, int> cases[] = {{0, 64},  {1, 64},   {64, 64},
                                            {65, 64}, {160, 64}, {(3 << 20) + 5, 65536}};
    int owner = 0;
    for (auto [size, chunk] : cases) {
        SCOPED_TRACE(Format("size %zu, chunk %d", size, chunk));
        const AnsiString value = Bytes(size, static_cast<unsigned>(++owner));
        StoreBlobChunks(value, "pTest", owner, 3, 4, nullptr, &keys, 77, chunk);
        std::vector<Row> rows = Rows("pTest", owner);
        const size_t c = static_cast<size_t>(chunk);
        ASSERT_EQ(rows.size(), (size + c - 1) / c);
        for (size_t i = 0; i < rows.size(); ++i) {
            const size_t n = std::min(c, size - i * c);
            EXPECT_EQ(rows[i].serial, static_cast<int>(i + 1));
            EXPECT_EQ(rows[i].size, static_cast<int>(n));
            EXPECT_EQ(rows[i].prev, i == 0 ? -1 : rows[i - 1].id);
            EXPECT_TRUE(rows[i].data == value.substr(i * c, n));
        }
        AnsiString back;
        ReadBlobChunks(back, "pTest", owner, 3, 4, nullptr, chunk, db.alias());
        EXPECT_TRUE(back == value);
    }
    EXPECT_EQ(db.Scalar("select count(*) from blobchunk where ownerid2 <> 3 or datatype <> 4 or "
                        "employee_id <> 77 or creationdate is null"),
              "0");
}

TEST_F(BlobChunkTest, OwnerFieldHoldsTheHeadOfTheValue) {
    TQuery owner;
    OwnerTable(owner);
    // Stores `value` with its head in OWNERROW `id`, reads it back; returns the head.
    auto roundTrip = [&](int id, const AnsiString& value) {
        owner.SetSQL(Format("select * from OWNERROW where OWNERROW_ID = %d", id));
        owner.Open();
        if (owner.Eof()) {
            owner.Insert();
            owner.FieldByName("OWNERROW_ID")->SetAsInteger(id);
        } else {
            owner.Edit();
        }
        StoreBlobChunks(value, "pDocument", id, 0, 0, owner.FieldByName("HEAD"), &keys, 1, 100);
        owner.Post();
        owner.Close();
        owner.Open();
        AnsiString back;
        ReadBlobChunks(back, "pDocument", id, 0, 0, owner.FieldByName("HEAD"), 100, db.alias());
        EXPECT_TRUE(back == value);
        return owner.FieldByName("HEAD")->AsString();
    };

    EXPECT_TRUE(roundTrip(1, Bytes(250, 1)) == Bytes(100, 1));
    ASSERT_EQ(Rows("pDocument", 1).size(), 2u);
    EXPECT_EQ(Rows("pDocument", 1)[1].size, 50);
    // A shorter value lives in the owner field alone, and the old chunks are gone.
    EXPECT_TRUE(roundTrip(1, Bytes(99, 2)) == Bytes(99, 2));
    EXPECT_TRUE(roundTrip(2, Bytes(100, 3)) == Bytes(100, 3));
    EXPECT_TRUE(roundTrip(3, "").empty());
    EXPECT_EQ(db.Scalar("select count(*) from blobchunk"), "0");
}

TEST_F(BlobChunkTest, OwnerKeySelectsRowsAndZeroIdsWiden) {
    Store(Bytes(10, 1), "pSpectrum", 1, 1, 1);
    Store(Bytes(10, 2), "pSpectrum", 1, 2, 1);
    Store(Bytes(10, 3), "pSpectrum", 1, 1, 2);
    Store(Bytes(10, 4), "pSpectrum", 2, 1, 1);
    EXPECT_TRUE(Read("pSpectrum", 1, 2, 1) == Bytes(10, 2));
    // Owner id 2 of 0 takes the rows of every owner id 2: two chains, so serial 1 repeats.
    EXPECT_THROW(Read("pSpectrum", 1, 0, 1), Exception);

    DeleteBlobChunks("pSpectrum", 1, -1, 2, db.alias());  // data type 2 of every owner id 2
    EXPECT_TRUE(Read("pSpectrum", 1, 1, 2).empty());
    EXPECT_TRUE(Read("pSpectrum", 1, 1, 1) == Bytes(10, 1));
    DeleteBlobChunks("pSpectrum", 1, 0, 0, db.alias());
    DeleteBlobChunks("pSpectrum", 1, 0, 0, db.alias());  // nothing left: no error
    EXPECT_TRUE(Rows("pSpectrum", 1).empty());
    EXPECT_TRUE(Read("pSpectrum", 2, 1, 1) == Bytes(10, 4));
}

TEST_F(BlobChunkTest, BrokenChainsGiveAClearError) {
    AnsiString read;
    for (int s : {1, 2, 4}) Raw(1, s, "abcd");  // a gap
    EXPECT_EQ(Broken(1, read),
              "Corrupted or missing BLOB data chunk (OWNERTYPE=raw, OWNERID1=1, OWNERID2=0, "
              "DATATYPE=0, expected serial=3, found=4)");
    EXPECT_EQ(read, "abcdabcd");
    for (int s : {1, 2, 2}) Raw(2, s, "abcd");  // a duplicate
    EXPECT_NE(Broken(2, read).find("expected serial=3, found=2"), AnsiString::npos);
    Raw(3, 2, "abcd");  // no first chunk
    EXPECT_NE(Broken(3, read).find("expected serial=1, found=2"), AnsiString::npos);
    EXPECT_TRUE(read.empty());

    // Irregular but unbroken chains read as the rows hold them: a chunk longer than the chunk
    // size, an empty or null chunk, a short chunk before the last.
    const struct {
        int owner;
        std::vector<const char*> rows;  // nullptr: a NULL DATA column
        const char* value;
    } irregular[] = {{4, {"abcd", "abcdef"}, "abcdabcdef"},
                     {5, {"", "ab"}, "ab"},
                     {6, {nullptr, "ab"}, "ab"},
                     {7, {"ab", "abcd", "c"}, "ababcdc"}};
    for (const auto& c : irregular) {
        for (size_t i = 0; i < c.rows.size(); ++i) Raw(c.owner, int(i) + 1, c.rows[i]);
        EXPECT_EQ(Broken(c.owner, read), "") << c.owner;
        EXPECT_EQ(read, c.value) << c.owner;
    }

    // Links forming a loop are never followed: reading goes by SERIAL, deleting clears them.
    for (int s : {1, 2, 3}) Raw(8, s, "abcd");
    db.Exec("update blobchunk set prevblobchunk_id = blobchunk_id + 1 where ownerid1 = 8");
    db.Exec("update blobchunk set prevblobchunk_id = blobchunk_id - 2 where serial = 3");
    EXPECT_EQ(Broken(8, read), "");
    EXPECT_EQ(read.size(), 12u);
    DeleteBlobChunks("raw", 8, 0, 0, db.alias());
    EXPECT_TRUE(Rows("raw", 8).empty());

    // The caller's bound on the size of the value.
    EXPECT_NE(Broken(1, read, 7).find("larger than 7 bytes"), AnsiString::npos);
    EXPECT_EQ(read, "abcd");
}

TEST_F(BlobChunkTest, BadArgumentsAreRejectedBeforeAnythingChanges) {
    Store(Bytes(20, 1), "pDocument", 1);
    for (int chunk : {0, -8})
        EXPECT_THROW(StoreBlobChunks("new", "pDocument", 1, 0, 0, nullptr, &keys, 1, chunk),
                     Exception);
    EXPECT_THROW(StoreBlobChunks("new", "pDocument", 1, 0, 0, nullptr, nullptr, 1, 4), Exception);
    TQuery owner;  // an owner row that is not being edited cannot take the head
    OwnerTable(owner);
    db.Exec("insert into OWNERROW (OWNERROW_ID) values (1)");
    owner.SetSQL("select * from OWNERROW");
    owner.Open();
    EXPECT_THROW(
        StoreBlobChunks("new", "pDocument", 1, 0, 0, owner.FieldByName("HEAD"), &keys, 1, 4),
        Exception);
    EXPECT_TRUE(Read("pDocument", 1, 0, 0) == Bytes(20, 1));
}

}  // namespace
