// Blob chunk storage: layouts with and without an owner field, owner selection (widening by
// owner id 2 and data type), bad arguments, broken chains. Hostile owner types are the security
// suite's.
#include <gtest/gtest.h>

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
    // The chunk rows of an owner as "serial:datasize:bytes:link ...", link "-" for a null
    // previous key and "<" for the key of the row before.
    std::string Chain(const AnsiString& type, int id1) {
        TQuery q;
        db.Open(q, Format("select serial, datasize, data, prevblobchunk_id, blobchunk_id from "
                          "blobchunk where ownertype = '%s' and ownerid1 = %d order by serial",
                          type.c_str(), id1));
        std::string out;
        int prev = -1;
        for (; !q.Eof(); q.Next()) {
            const TFields& f = q.Fields();
            const char* link = f[3]->IsNull() ? "-" : f[3]->AsInteger() == prev ? "<" : "?";
            out += Format("%s%d:%d:%zu:%s", out.empty() ? "" : " ", f[0]->AsInteger(),
                          f[1]->AsInteger(), f[2]->AsString().size(), link);
            prev = f[4]->AsInteger();
        }
        return out;
    }
    // Chunk rows of owner ("raw", id1) written directly, as a damaged database might hold them
    // (serials from 1 unless given; nullptr: a NULL DATA column).
    void Raw(int id1, std::initializer_list<const char*> data, std::vector<int> serials = {}) {
        TQuery q;
        q.SetDatabaseName(db.alias());
        q.SetSQL(
            "insert into blobchunk (ownertype, ownerid1, serial, data, blobchunk_id) values "
            "('raw', :o, :s, :d, :id)");
        int i = 0;
        for (const char* d : data) {
            q.ParamByName("o")->SetAsInteger(id1);
            q.ParamByName("s")->SetAsInteger(serials.empty() ? i + 1 : serials[i]);
            q.ParamByName("d")->SetAsBlob(d ? d : "");
            if (!d) q.ParamByName("d")->Clear();
            q.ParamByName("id")->SetAsInteger(++rawKey);
            q.ExecSQL();
            ++i;
        }
    }
    // The value read for ("raw", id1), or "!" and the message thrown.
    AnsiString ReadRaw(int id1, size_t limit = SIZE_MAX) {
        AnsiString v = "stale";
        try {
            ReadBlobChunks(v, "raw", id1, 0, 0, nullptr, 4, db.alias(), limit);
        } catch (const Exception& e) {
            return "!" + e.Message;
        }
        return v;
    }
    AnsiString Read(const AnsiString& type, int id1, int id2 = 0, int dataType = 0) {
        AnsiString v = "stale";
        ReadBlobChunks(v, type, id1, id2, dataType, nullptr, 4, db.alias());
        return v;
    }
    void Store(const AnsiString& v, const AnsiString& type, int id1, int id2 = 0, int dt = 0) {
        StoreBlobChunks(v, type, id1, id2, dt, nullptr, &keys, 1, 4);
    }

    quantora::test::TestDatabase db{true};
    quantora::CountingKeyGen keys{1, db.alias()};
    int rawKey = 1000;
};

TEST_F(BlobChunkTest, ValuesWithoutOwnerFieldRoundTripAsChainsOfFullChunks) {
    const struct {
        size_t size;
        int chunk;
        std::string chain;
    } cases[] = {{0, 64, ""},
                 {1, 64, "1:1:1:-"},
                 {64, 64, "1:64:64:-"},
                 {160, 64, "1:64:64:- 2:64:64:< 3:32:32:<"}};
    int owner = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(Format("size %zu", c.size));
        const AnsiString value = Bytes(c.size, static_cast<unsigned>(++owner));
        StoreBlobChunks(value, "pTest", owner, 3, 4, nullptr, &keys, 77, c.chunk);
        EXPECT_EQ(Chain("pTest", owner), c.chain);
        AnsiString back;
        ReadBlobChunks(back, "pTest", owner, 3, 4, nullptr, c.chunk, db.alias());
        EXPECT_TRUE(back == value);
    }
    EXPECT_EQ(db.Scalar("select count(*) from blobchunk where ownerid2 <> 3 or datatype <> 4 or "
                        "employee_id <> 77 or creationdate is null"),
              "0");
}

TEST_F(BlobChunkTest, OwnerFieldHoldsTheHeadOfTheValue) {
    db.Exec("CREATE TABLE OWNERROW (OWNERROW_ID INTEGER NOT NULL PRIMARY KEY, HEAD BLOB)");
    db.Exec("INSERT INTO OWNERROW (OWNERROW_ID) VALUES (1)");
    TQuery owner;
    TField* head = db.Open(owner, "select * from OWNERROW", true).FieldByName("HEAD");
    // A row that is not being edited cannot take the head.
    EXPECT_THROW(StoreBlobChunks("new", "pDocument", 1, 0, 0, head, &keys, 1, 4), Exception);
    // size of the value: the chunk rows left; a shorter value removes the old chunks.
    for (auto [size, chain] : {std::pair<size_t, const char*>{250, "1:100:100:- 2:50:50:<"},
                               {99, ""},
                               {100, ""},
                               {0, ""}}) {
        const AnsiString value = Bytes(size, static_cast<unsigned>(size));
        owner.Edit();
        StoreBlobChunks(value, "pDocument", 1, 0, 0, head, &keys, 1, 100);
        owner.Post();
        owner.Close();
        owner.Open();
        head = owner.FieldByName("HEAD");
        EXPECT_EQ(Chain("pDocument", 1), chain) << size;
        EXPECT_TRUE(head->AsString() == value.substr(0, 100)) << size;
        AnsiString back;
        ReadBlobChunks(back, "pDocument", 1, 0, 0, head, 100, db.alias());
        EXPECT_TRUE(back == value) << size;
    }
}

TEST_F(BlobChunkTest, OwnerKeySelectsRowsAndZeroIdsWiden) {
    Store(Bytes(10, 1), "pSpectrum", 1, 1, 1);
    // Bad arguments are rejected before anything changes.
    for (auto [k, chunk] : {std::pair<IntKeyGen*, int>{&keys, 0}, {&keys, -8}, {nullptr, 4}})
        EXPECT_THROW(StoreBlobChunks("new", "pSpectrum", 1, 1, 1, nullptr, k, 1, chunk), Exception);
    Store(Bytes(10, 2), "pSpectrum", 1, 2, 1);
    Store(Bytes(10, 3), "pSpectrum", 1, 1, 2);
    Store(Bytes(10, 4), "pSpectrum", 2, 1, 1);
    EXPECT_TRUE(Read("pSpectrum", 1, 2, 1) == Bytes(10, 2) &&
                Read("pSpectrum", 1, 1, 1) == Bytes(10, 1));
    // Owner id 2 of 0 takes the rows of every owner id 2: two chains, so serial 1 repeats.
    EXPECT_THROW(Read("pSpectrum", 1, 0, 1), Exception);

    DeleteBlobChunks("pSpectrum", 1, -1, 2, db.alias());  // data type 2 of every owner id 2
    EXPECT_TRUE(Read("pSpectrum", 1, 1, 2).empty());
    EXPECT_TRUE(Read("pSpectrum", 1, 1, 1) == Bytes(10, 1));
    DeleteBlobChunks("pSpectrum", 1, 0, 0, db.alias());
    DeleteBlobChunks("pSpectrum", 1, 0, 0, db.alias());  // nothing left: no error
    EXPECT_EQ(Chain("pSpectrum", 1), "");
    EXPECT_TRUE(Read("pSpectrum", 2, 1, 1) == Bytes(10, 4));
}

TEST_F(BlobChunkTest, BrokenChainsGiveAClearErrorIrregularOnesReadAsStored) {
    Raw(1, {"abcd", "abcd", "abcd"}, {1, 2, 4});
    EXPECT_EQ(ReadRaw(1),
              "!Corrupted or missing BLOB data chunk (OWNERTYPE=raw, OWNERID1=1, OWNERID2=0, "
              "DATATYPE=0, expected serial=3, found=4)");
    Raw(2, {"abcd", "abcd", "abcd"}, {1, 2, 2});
    Raw(3, {"abcd"}, {2});
    // Irregular but unbroken: a chunk longer than the chunk size, an empty or null chunk, a
    // short chunk before the last.
    Raw(4, {"abcd", "abcdef"});
    Raw(5, {"", "ab"});
    Raw(6, {nullptr, "ab"});
    Raw(7, {"ab", "abcd", "c"});
    // Links forming a loop are never followed: reading goes by SERIAL, deleting clears them.
    Raw(8, {"abcd", "abcd", "abcd"});
    db.Exec("update blobchunk set prevblobchunk_id = blobchunk_id + 1 where ownerid1 = 8");
    db.Exec("update blobchunk set prevblobchunk_id = blobchunk_id - 2 where serial = 3");
    const std::pair<int, const char*> reads[] = {{2, "expected serial=3, found=2)"},
                                                 {3, "expected serial=1, found=2)"},
                                                 {4, "abcdabcdef"},
                                                 {5, "ab"},
                                                 {6, "ab"},
                                                 {7, "ababcdc"},
                                                 {8, "abcdabcdabcd"}};
    for (auto [owner, value] : reads) {
        const AnsiString read = ReadRaw(owner);
        if (*value == 'e') {
            EXPECT_TRUE(read.rfind("!Corrupted", 0) == 0 && read.find(value) != read.npos) << read;
        } else {
            EXPECT_EQ(read, value) << owner;
        }
    }
    DeleteBlobChunks("raw", 8, 0, 0, db.alias());
    EXPECT_EQ(Chain("raw", 8), "");
    // The caller's bound on the size of the value.
    EXPECT_NE(ReadRaw(7, 6).find("larger than 6 bytes"), AnsiString::npos);
}

}  // namespace
