// Binary values of any size kept as chains of BLOBCHUNK rows that belong to an owner row of
// another table. The head of a value may live in a blob column of the owner row; the rest
// follows in chunk rows with SERIAL 1, 2, 3, ... of at most `chunkSize` bytes each.
//
// An owner is named by its owner key: owner type, owner id 1, owner id 2 and data type. An owner
// id 2 or data type of 0 or less is left out of the row selection, so reading and deleting then
// take the rows of every owner id 2 or data type of that owner.
#pragma once

#include <cstddef>
#include <limits>

#include "quantora/base/Types.h"
#include "quantora/dblayer/TField.h"
#include "quantora/frame/IntKeyGen.h"

// Replaces the owner's stored value with `value`. With `ownerField` (whose dataset must be in
// edit or insert state; posting it is the caller's) its first min(size, chunkSize) bytes go into
// that field. The rest is written as chunk rows with keys from `keyGen`, on the database
// `keyGen->DbName`. Opens no transaction: when a write fails part-way, the old chunks are gone
// and the rows written so far stay. A chunk size below 1, a missing key generator or an owner
// field that cannot be written are rejected before anything is changed.
void StoreBlobChunks(const AnsiString& value, const AnsiString& ownerType, int ownerId1,
                     int ownerId2, int dataType, TField* ownerField, IntKeyGen* keyGen,
                     int employeeId, int chunkSize);

// Reads the owner's value into `value`: the head from `ownerField` (when given), followed by the
// chunk rows when the head is not shorter than `chunkSize`, the size the value was stored with.
// Order comes from SERIAL alone and every row adds what it holds (empty, NULL, short or long).
// A gap, duplicate or missing first SERIAL, or a value growing beyond `maxValueSize` bytes
// throws an Exception; `value` then holds what was read before the bad row. Chunks missing at
// the end of a value cannot be told from a shorter value.
void ReadBlobChunks(AnsiString& value, const AnsiString& ownerType, int ownerId1, int ownerId2,
                    int dataType, TField* ownerField, int chunkSize, const AnsiString& dbName,
                    size_t maxValueSize = std::numeric_limits<size_t>::max());

// Deletes the owner's chunk rows (clearing their chain links first).
void DeleteBlobChunks(const AnsiString& ownerType, int ownerId1, int ownerId2, int dataType,
                      const AnsiString& dbName);
