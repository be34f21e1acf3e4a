// Field type numbers of the database layer (0 to 35, the numbering of the XML export's type
// table), dataset states and parameter kinds.
#pragma once

enum TFieldType {
    ftUnknown = 0,
    ftString,
    ftSmallint,
    ftInteger,
    ftWord,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftBytes,
    ftVarBytes,
    ftAutoInc,
    ftBlob,
    ftMemo,
    ftGraphic,
    ftFmtMemo,
    ftParadoxOle,
    ftDBaseOle,
    ftTypedBinary,
    ftCursor,
    ftFixedChar,
    ftWideString,
    ftLargeint,
    ftADT,
    ftArray,
    ftReference,
    ftDataSet,
    ftOraBlob,
    ftOraClob,
    ftVariant,
    ftInterface,
    ftIDispatch,
    ftGuid
};

enum TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

enum TParamType { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

namespace quantora {

inline bool IsIntegerType(TFieldType t) {
    return t == ftSmallint || t == ftInteger || t == ftWord || t == ftAutoInc || t == ftLargeint ||
           t == ftBoolean;
}
inline bool IsFloatType(TFieldType t) {
    return t == ftFloat || t == ftCurrency || t == ftBCD;
}
inline bool IsDateType(TFieldType t) {
    return t == ftDate || t == ftTime || t == ftDateTime;
}
inline bool IsBinaryType(TFieldType t) {
    return t == ftBlob || t == ftBytes || t == ftVarBytes || t == ftGraphic || t == ftTypedBinary ||
           t == ftOraBlob;
}
// A known type stored as text: none of the four above.
inline bool IsTextType(TFieldType t) {
    return t != ftUnknown && !IsIntegerType(t) && !IsFloatType(t) && !IsDateType(t) &&
           !IsBinaryType(t);
}

// Bytes the value of a field of this type takes in a row buffer; `size` is the declared length
// of character columns.
int FieldDataSize(TFieldType type, int size);

}  // namespace quantora
