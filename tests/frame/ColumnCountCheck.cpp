// Compiled by ctest with -fsyntax-only, never linked: a record's column list that leaves out a
// column must not compile, and the complete list must.
#include "quantora/frame/CachedRecord.h"

struct TWOCOLData : CachedRecord<TWOCOLData, 2> {
    int TWOCOL_ID;
    AnsiString NAME;
    static constexpr const char* Table = "TWOCOL";
    static const ColumnList& Columns();
};

const TWOCOLData::ColumnList& TWOCOLData::Columns() {
    using R = TWOCOLData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        quantora::Col("TWOCOL_ID", &R::TWOCOL_ID).Key(),
#ifndef QUANTORA_DROP_COLUMN
        quantora::Col("NAME", &R::NAME),
#endif
    });
    return cols;
}
