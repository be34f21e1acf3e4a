// Node rows read from the dialogs' queries.
#include "quantora/dialogs/TreeQueries.h"

#include "quantora/base/Format.h"
#include "quantora/dblayer/EDatabaseError.h"
#include "quantora/dblayer/TQuery.h"
#include "quantora/frame/QueryGuards.h"

namespace quantora::dialogs {

TParam* FirstParam(TQuery& q) {
    if (q.ParamCount() == 0)
        throw EDatabaseError(quantora::Format("Query has no parameter: %s", q.SQL().c_str()));
    return q.Params()[0];
}

void AppendNodesByName(TQuery& q, int parentKey, const char* keyField, const char* textField,
                       int image, NodeList& out) {
    q.Close();
    FirstParam(q)->SetAsInteger(parentKey);
    OpenerCloser oc(&q);
    TField* key = q.FieldByName(keyField);
    TField* text = q.FieldByName(textField);
    for (; !q.Eof(); q.Next())
        out.push_back(NewNode(ToQString(text->AsString()), key->AsInteger(), image));
}

}  // namespace quantora::dialogs
