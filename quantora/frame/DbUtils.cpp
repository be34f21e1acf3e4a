// Shared database utilities.
#include "quantora/frame/DbUtils.h"

#include <cstdio>
#include <memory>

#include "quantora/base/Format.h"
#include "quantora/dblayer/TQuery.h"

TDateTime Millisecs2DateTime(double ms) {
    return ms / 86400000.0;
}

bool SetSampleIDs(int objType, long objectId, long* sampleId, long* sourceId, long* sourceListId) {
    for (long* out : {sampleId, sourceId, sourceListId})
        if (out) *out = -1;
    long* selected = objType == 2   ? sampleId
                     : objType == 3 ? sourceId
                     : objType == 4 ? sourceListId
                                    : nullptr;
    if (selected) *selected = objectId;
    return objType >= 1 && objType <= 4;
}

void GetSuperProjectIDsForProject(AnsiString& dbName, std::vector<int>* ids, int projectId) {
    if (!ids) return;
    ids->clear();
    TQuery q;
    q.SetDatabaseName(dbName);
    q.SetUniDirectional(true);
    int current = projectId;
    while (ids->size() < 100) {
        q.Close();
        q.SetSQL(
            quantora::Format("Select superproject_id from project where project_id = %d", current));
        q.Open();
        if (q.Eof() || q.Fields()[0]->IsNull()) break;
        current = q.Fields()[0]->AsInteger();
        ids->insert(ids->begin(), current);
    }
}

void SetDbName(TComponent* component, void* context) {
    if (!component || !context) return;
    const char* alias = static_cast<const SetDbNameContext*>(context)->DbName;
    AnsiString name = alias ? alias : "";
    if (auto* lookup = dynamic_cast<TSQLLookup*>(component)) {
        lookup->SetListDatabase(name);
    } else if (auto* ds = dynamic_cast<TDBDataSet*>(component)) {
        ds->Close();
        ds->SetDatabaseName(name);
    }
}

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};

bool IsStringField(const TField* f) {
    TFieldType t = f->DataType();
    return t == ftString || t == ftFixedChar || t == ftWideString;
}

}  // namespace

void SaveDatasetAsCSV(const char* path, TDataSet* ds) {
    if (!path || !ds) return;
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path, "w"));
    if (!file) return;
    FILE* f = file.get();
    try {
        std::fputs("\"SERIAL #\"", f);
        for (int i = 0; i < ds->FieldCount(); ++i)
            std::fprintf(f, ",\"%s\"", ds->Fields()[i]->FieldName().c_str());
        std::fputs("\r\n", f);
        ds->First();
        AnsiString value;
        for (int row = 1; !ds->Eof(); ++row, ds->Next()) {
            std::fprintf(f, "%d", row);
            for (int i = 0; i < ds->FieldCount(); ++i) {
                const TField* field = ds->Fields()[i];
                value = field->AsString();
                if (IsStringField(field))
                    std::fprintf(f, ",\"%s\"", value.c_str());
                else
                    std::fprintf(f, ",%s", value.c_str());
            }
            std::fputs("\r\n", f);
        }
    } catch (...) {
        // The lines written so far stay; the caller is not told.
    }
}
