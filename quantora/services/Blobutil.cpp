// Blob chunk storage: rows of one owner are selected by an owner condition built as text;
// chunks are written through one prepared INSERT and read back in SERIAL order, checking that
// the rows form one unbroken chain of full chunks before the last.
#include "quantora/services/Blobutil.h"

#include <algorithm>
#include <string>

#include "quantora/base/DateTime.h"
#include "quantora/base/Exception.h"
#include "quantora/base/Failures.h"
#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/SqlNames.h"

using quantora::Format;

namespace {

constexpr const char* kInsertChunkSql =
    "INSERT INTO blobchunk (OWNERTYPE, OWNERID1, OWNERID2, DATATYPE, SERIAL, DATA, DATASIZE, "
    "BLOBCHUNK_ID, PREVBLOBCHUNK_ID, EMPLOYEE_ID, CREATIONDATE) VALUES (:OWNERTYPE, :OWNERID1, "
    ":OWNERID2, :DATATYPE, :SERIAL, :DATA, :DATASIZE, :BLOBCHUNK_ID, :PREVBLOBCHUNK_ID, "
    ":EMPLOYEE_ID, :CREATIONDATE)";

// " ownertype='...' AND ownerid1=N[ AND ownerid2=N][ AND DATATYPE=N]". The owner type is a
// string literal with its quotes doubled; one with a zero byte is refused.
AnsiString OwnerCondition(const AnsiString& ownerType, int ownerId1, int ownerId2, int dataType) {
    AnsiString c = " ownertype=";
    c.reserve(c.size() + ownerType.size() + 64);
    c += quantora::SqlStringLiteral(ownerType, "BLOB chunks: the owner type");
    c += " AND ownerid1=";
    c += std::to_string(ownerId1);
    if (ownerId2 > 0) {
        c += " AND ownerid2=";
        c += std::to_string(ownerId2);
    }
    if (dataType > 0) {
        c += " AND DATATYPE=";
        c += std::to_string(dataType);
    }
    return c;
}

// The owner key as the error messages name it.
AnsiString OwnerText(const AnsiString& ownerType, int ownerId1, int ownerId2, int dataType) {
    return Format("OWNERTYPE=%s, OWNERID1=%d, OWNERID2=%d, DATATYPE=%d", ownerType.c_str(),
                  ownerId1, ownerId2, dataType);
}

}  // namespace

void DeleteBlobChunks(const AnsiString& ownerType, int ownerId1, int ownerId2, int dataType,
                      const AnsiString& dbName) {
    const AnsiString clause = " where" + OwnerCondition(ownerType, ownerId1, ownerId2, dataType);
    TQuery q;
    q.SetDatabaseName(dbName);
    // Links are cleared first, so no remaining row refers to a deleted one.
    q.SetSQL(" update blobchunk set PREVBLOBCHUNK_ID=null" + clause);
    q.ExecSQL();
    q.SetSQL(" delete blobchunk " + clause);
    q.ExecSQL();
}

void StoreBlobChunks(const AnsiString& value, const AnsiString& ownerType, int ownerId1,
                     int ownerId2, int dataType, TField* ownerField, IntKeyGen* keyGen,
                     int employeeId, int chunkSize) {
    if (chunkSize < 1)
        throw quantora::MisuseError(
            Format("StoreBlobChunks: the chunk size must be at least 1, not %d", chunkSize));
    if (!keyGen) throw quantora::MisuseError("StoreBlobChunks: no key generator is given");
    if (ownerField) {
        const TDataSetState st = ownerField->DataSet()->State();
        if (st != dsEdit && st != dsInsert)
            throw quantora::MisuseError(
                Format("StoreBlobChunks: the owner field %s is not being edited or inserted (%s)",
                       ownerField->FieldName().c_str(),
                       OwnerText(ownerType, ownerId1, ownerId2, dataType).c_str()));
    }

    DeleteBlobChunks(ownerType, ownerId1, ownerId2, dataType, keyGen->DbName);

    const size_t size = value.size();
    const size_t chunk = static_cast<size_t>(chunkSize);
    size_t pos = 0;
    if (ownerField) {
        pos = std::min(size, chunk);
        ownerField->SetAsString(value.substr(0, pos));
    }
    if (pos >= size) return;

    TQuery q;
    q.SetDatabaseName(keyGen->DbName);
    q.SetSQL(kInsertChunkSql);
    q.Prepare();
    q.ParamByName("OWNERTYPE")->SetAsString(ownerType);
    q.ParamByName("OWNERID1")->SetAsInteger(ownerId1);
    q.ParamByName("OWNERID2")->SetAsInteger(ownerId2);
    q.ParamByName("DATATYPE")->SetAsInteger(dataType);
    q.ParamByName("EMPLOYEE_ID")->SetAsInteger(employeeId);
    TParam* serialP = q.ParamByName("SERIAL");
    TParam* dataP = q.ParamByName("DATA");
    TParam* sizeP = q.ParamByName("DATASIZE");
    TParam* idP = q.ParamByName("BLOBCHUNK_ID");
    TParam* prevP = q.ParamByName("PREVBLOBCHUNK_ID");
    TParam* dateP = q.ParamByName("CREATIONDATE");
    prevP->SetDataType(ftInteger);

    int prevId = -1;
    AnsiString piece;
    for (int serial = 1; pos < size; ++serial) {
        const size_t n = std::min(size - pos, chunk);
        const int id = keyGen->NextKey();
        piece.assign(value, pos, n);
        serialP->SetAsInteger(serial);
        dataP->SetAsBlob(piece);
        sizeP->SetAsInteger(static_cast<int>(n));
        idP->SetAsInteger(id);
        if (prevId > 0)
            prevP->SetAsInteger(prevId);
        else
            prevP->Clear();
        dateP->SetAsDateTime(quantora::LocalNow());
        q.ExecSQL();
        prevId = id;
        pos += n;
    }
}

void ReadBlobChunks(AnsiString& value, const AnsiString& ownerType, int ownerId1, int ownerId2,
                    int dataType, TField* ownerField, int chunkSize, const AnsiString& dbName,
                    size_t maxValueSize) {
    value.clear();
    auto tooLarge = [&] {
        return Exception(Format("BLOB value larger than %zu bytes (%s)", maxValueSize,
                                OwnerText(ownerType, ownerId1, ownerId2, dataType).c_str()));
    };

    if (ownerField) {
        value = ownerField->AsString();
        if (value.size() > maxValueSize) throw tooLarge();
        // A head shorter than a chunk holds the whole value.
        if (chunkSize > 0 && value.size() < static_cast<size_t>(chunkSize)) return;
    }

    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetSQL(" select serial, data from blobchunk where" +
             OwnerCondition(ownerType, ownerId1, ownerId2, dataType) + " ORDER BY serial");
    q.SetRequestLive(false);
    q.SetUniDirectional(true);
    q.Open();
    TField* serialF = q.Fields()[0];
    TField* dataF = q.Fields()[1];
    // Order comes from SERIAL alone; each row adds what it holds, whatever its size.
    for (long long expected = 1; !q.Eof(); q.Next(), ++expected) {
        const long long found = serialF->AsLargeInt();
        if (found != expected)
            throw Exception(Format(
                "Corrupted or missing BLOB data chunk (OWNERTYPE=%s, OWNERID1=%d, OWNERID2=%d, "
                "DATATYPE=%d, expected serial=%lld, found=%lld)",
                ownerType.c_str(), ownerId1, ownerId2, dataType, expected, found));
        const AnsiString& bytes = dataF->AsString();
        if (bytes.size() > maxValueSize - value.size()) throw tooLarge();
        value += bytes;
    }
}
