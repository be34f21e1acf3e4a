// The analysis of a caller's SQL text (parameter translation, literals to bind), remembered per
// shape: texts that differ only in their numbers, like a key printed into the SQL for every row,
// are analysed once per thread and then only have their numbers filled in.
#pragma once

#include "quantora/base/Types.h"
#include "quantora/dblayer/Backend.h"
#include "quantora/dblayer/LiteralParams.h"
#include "quantora/dblayer/SqlText.h"

namespace quantora::db {

// TranslateSql(sql, style), then ParametrizeLiterals of its text after its parameters: the same
// results, from the calling thread's cache of shapes where it can.
void AnalyseSql(const AnsiString& sql, PlaceholderStyle style, TranslatedSql* translated,
                BoundLiterals* literals);

}  // namespace quantora::db
