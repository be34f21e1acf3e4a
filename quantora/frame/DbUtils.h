// Small shared utilities: milliseconds as date-times, measured-object keys, the chain of parent
// projects, setting the database alias on components, writing a dataset as CSV.
#pragma once

#include <vector>

#include "quantora/base/Types.h"
#include "quantora/dblayer/TDataSet.h"

// `ms` milliseconds as a TDateTime.
TDateTime Millisecs2DateTime(double ms);

// Sets each given output to -1, then the one `objType` selects (2 sample, 3 source, 4 source
// list) to `objectId`. True for types 1 to 4.
bool SetSampleIDs(int objType, long objectId, long* sampleId, long* sourceId, long* sourceListId);

// The ancestors of a project, topmost first, the direct parent last (at most 100; a loop in
// the hierarchy ends there).
void GetSuperProjectIDsForProject(AnsiString& dbName, std::vector<int>* ids, int projectId);

// A lookup control that reads its list from a database; only the list database is kept here.
class TSQLLookup : public TComponent {
  public:
    using TComponent::TComponent;
    void SetListDatabase(const AnsiString& alias) { list_database_ = alias; }
    const AnsiString& ListDatabase() const { return list_database_; }

  private:
    AnsiString list_database_;
};

// The block SetDbName reads: five words of the caller's, then the database alias. (On 32-bit
// hosts the alias was the sixth 32-bit word; here it is the sixth member.)
struct SetDbNameContext {
    unsigned int Reserved[5];
    const char* DbName;
};

// Gives `component` the alias of `context` (a SetDbNameContext): a TSQLLookup as its list
// database, a TDBDataSet (closed first) as its DatabaseName; other components are left alone.
void SetDbName(TComponent* component, void* context);

// Writes the dataset from its first row as a CSV file with CR LF line ends: a header of quoted
// field names after "SERIAL #", then one numbered line per row, string values quoted. Fails
// silently (a failed export cannot be told from a good one).
void SaveDatasetAsCSV(const char* path, TDataSet* ds);
