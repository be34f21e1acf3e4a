// Shared pieces of the hostile-input tests: texts built to break out of SQL, and a full dump of
// the lab tables to prove that nothing else in a database changed.
#pragma once

#include <map>
#include <set>
#include <vector>

#include "quantora/base/Types.h"

namespace quantora::test {

// Texts with quotes, semicolons followed by a second statement, comment markers, backslashes,
// parameter and placeholder markers and printf conversions; each at most 40 bytes.
const std::vector<AnsiString>& HostileTexts();

// Every row of every lab table, each row as one text (null shown apart from empty, creation
// times left out), sorted.
using TableDump = std::map<AnsiString, std::vector<AnsiString>>;
TableDump DumpTables(const AnsiString& alias, const std::set<AnsiString>& skipped = {});

// Some rows in EMPLOYEE, PROJECT, SAMPLE, MEASUREMENT, SPECTRUM and SETTING, so that a stray
// DELETE or UPDATE shows in a dump.
void FillBystanderRows(const AnsiString& alias);

}  // namespace quantora::test
