// The large read and insert through SOCI, the same on every back end: values bound to variables
// with into() and use(), row by row, through prepared statements.
//
// Debian's SOCI was built with Boost, so its configuration header turns on the Boost conversions
// (optional, fusion, tuple, gregorian dates), header-only templates that need Boost's headers. The
// benchmarks use none of them, so they are turned off here and SOCI works without Boost installed.
#pragma once

#include <soci/soci-config.h>
#undef SOCI_HAVE_BOOST
#undef SOCI_HAVE_BOOST_DATE_TIME
#include <soci/soci.h>

#include <string>

#include "bench/dblayer/Workload.h"

namespace quantora::bench {

// Reads every row of `table`, whose columns are those of the benchmarks' table in order.
inline ReadChecksum SociRead(soci::session& sql, const std::string& table) {
    int id, i1, i2, b1;
    double f1, f2, f3;
    std::string s1, s2, d1;
    soci::statement st = (sql.prepare << "SELECT * FROM " + table, soci::into(id), soci::into(i1),
                          soci::into(i2), soci::into(f1), soci::into(f2), soci::into(f3),
                          soci::into(s1), soci::into(s2), soci::into(d1), soci::into(b1));
    st.execute();
    ReadChecksum c;
    while (st.fetch()) c.Add(id, i1, i2, b1, f1, f2, f3, ReadChecksum::Date(d1), s1, s2);
    return c;
}

// Inserts rows 0 .. rows-1 into `table` in one transaction.
inline void SociInsert(soci::session& sql, const std::string& table, int rows) {
    soci::transaction tr(sql);
    int id, i1, i2, b1;
    double f1, f2, f3;
    std::string s1 = InsertedRow::kS1, s2 = InsertedRow::kS2, d1;
    soci::statement st =
        (sql.prepare << "INSERT INTO " + table +
                            " VALUES (:id,:i1,:i2,:f1,:f2,:f3,:s1,:s2,:d1,:b1)",
         soci::use(id), soci::use(i1), soci::use(i2), soci::use(f1), soci::use(f2), soci::use(f3),
         soci::use(s1), soci::use(s2), soci::use(d1), soci::use(b1));
    for (int i = 0; i < rows; ++i) {
        InsertedRow r(i);
        id = r.id, i1 = r.i1, i2 = r.i2, b1 = r.b1;
        f1 = r.f1, f2 = r.f2, f3 = r.f3;
        d1.assign(r.d1, kIsoDateTimeLength);
        st.execute(true);
    }
    tr.commit();
}

}  // namespace quantora::bench
