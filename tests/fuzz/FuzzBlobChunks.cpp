// Fuzz target: reading a chunked blob value back from hostile BLOBCHUNK rows, written as the input
// describes (owner columns, SERIAL and DATA of any SQLite storage type) into a scratch database.
// The read must either throw or give a value within the size limit.

#include "quantora/base/Exception.h"
#include "quantora/dblayer/Transaction.h"
#include "quantora/services/Blobutil.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// One value of a column in any storage class, picked by the input; mostly `likely`.
void SetValue(TParam* p, quantora::fuzz::ByteReader& in, int64_t likely) {
    const int kind = in.Byte() % 8;
    if (kind == 0) p->Clear();
    if (kind == 1) p->SetAsLargeInt(in.Int(8));
    if (kind == 2) p->SetAsFloat(static_cast<double>(in.Int(2)) / 4.0);
    if (kind == 3) p->SetAsString(in.Bytes(in.Byte() % 16));
    if (kind == 4) p->SetAsBlob(in.Bytes(in.Byte() % 16));
    if (kind > 4) p->SetAsLargeInt(likely);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const quantora::fuzz::ScratchDatabase db;
    const char* const alias = db.name();
    quantora::fuzz::ByteReader in(data, size);
    const int chunkSize = 1 + in.Byte() % 16;
    const int ownerId2 = static_cast<int8_t>(in.Byte());
    const int dataType = static_cast<int8_t>(in.Byte());
    const size_t maxValueSize = in.Byte() == 0 ? 1 + in.Byte() : static_cast<size_t>(-1);
    {
        Transaction t(alias);
        db.Exec("DELETE FROM BLOBCHUNK");
        TQuery q;
        q.SetDatabaseName(alias);
        q.SetSQL(
            "INSERT INTO BLOBCHUNK (OWNERTYPE, OWNERID1, OWNERID2, DATATYPE, SERIAL, DATA, "
            "DATASIZE, BLOBCHUNK_ID, PREVBLOBCHUNK_ID) VALUES (:OWNERTYPE, :OWNERID1, :OWNERID2, "
            ":DATATYPE, :SERIAL, :DATA, :DATASIZE, :BLOBCHUNK_ID, :PREVBLOBCHUNK_ID)");
        q.Prepare();
        for (int id = 1; !in.Done() && id <= 64; ++id) {
            // Mostly rows of the owner that is read, with a serial near the expected one.
            const uint8_t owner = in.Byte();
            q.ParamByName("OWNERTYPE")->SetAsString(owner & 1 ? "SP'EC" : "SPECTRUM");
            q.ParamByName("OWNERID1")->SetAsInteger(owner & 2 ? 2 : 1);
            SetValue(q.ParamByName("OWNERID2"), in, ownerId2);
            SetValue(q.ParamByName("DATATYPE"), in, dataType);
            SetValue(q.ParamByName("SERIAL"), in, id);
            if (in.Byte() & 1)
                q.ParamByName("DATA")->SetAsBlob(in.Bytes(in.Byte() % 20));
            else
                SetValue(q.ParamByName("DATA"), in, 0);
            q.ParamByName("DATASIZE")->SetAsInteger(chunkSize);
            q.ParamByName("BLOBCHUNK_ID")->SetAsInteger(id);
            q.ParamByName("PREVBLOBCHUNK_ID")->SetAsInteger(id - 1);
            q.ExecSQL();
        }
        t.Commit();
    }
    for (const char* ownerType : {"SPECTRUM", "SP'EC"}) {
        AnsiString value = "stale";
        try {
            ReadBlobChunks(value, ownerType, 1, ownerId2, dataType, nullptr, chunkSize, alias,
                           maxValueSize);
        } catch (const Exception&) {
        }
        if (value.size() > maxValueSize) std::abort();
    }
    return 0;
}
