// Data-source attribute lists for the ODBC installer, and the way to create and remove a data
// source through the installer's profile functions when a driver has no setup routine.
#pragma once

#include <vector>

#include "quantora/base/Types.h"

namespace quantora {

// Every non-empty line followed by '@', then every '@' (also one inside a line) turned into a zero
// byte: a zero-separated keyword=value list closed by a double zero (the last zero is part of the
// returned bytes, so the text stands on its own without the string's terminator).
AnsiString MakeODBCAttributeText(const std::vector<AnsiString>& lines);

// True when the last installer call failed with the general installer error, which is what the
// driver manager reports when a driver's setup library has no ConfigDSN routine.
bool LastInstallerErrorIsGeneral();

// Writes the data source of a zero-separated attribute text (it must hold DSN=name) into the user's
// or the system's odbc.ini: the section with the driver, then one entry per other attribute.
// The driver must be registered and every attribute a keyword=value pair; nothing is written
// otherwise, and a data source left incomplete by a failed write is removed again. False leaves
// the reason in the installer's error queue (read with SQLInstallerError).
bool WriteODBCDataSourceToIni(bool system, const AnsiString& driver,
                              const AnsiString& attributeText);

// Removes the data source named by DSN=name in the attribute text from the user's or the system's
// odbc.ini. Fails, with the reason in the installer's error queue, when the driver is not
// registered or the data source does not exist there.
bool RemoveODBCDataSourceFromIni(bool system, const AnsiString& driver,
                                 const AnsiString& attributeText);

}  // namespace quantora
