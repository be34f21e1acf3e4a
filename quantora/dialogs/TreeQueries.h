// Filling tree nodes from the dialogs' parameterised queries.
#pragma once

#include "quantora/dialogs/TreeNodes.h"

class TParam;
class TQuery;

namespace quantora::dialogs {

// The query's first parameter; an EDatabaseError when its SQL text has none.
TParam* FirstParam(TQuery& q);

// Runs `q` with `parentKey` as its first parameter and appends one node of `image` per row,
// taking the key and the text from the named columns.
void AppendNodesByName(TQuery& q, int parentKey, const char* keyField, const char* textField,
                       int image, NodeList& out);

}  // namespace quantora::dialogs
