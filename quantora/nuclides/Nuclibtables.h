// Record classes of the nuclide tables: ISOMER (a nuclide or isomeric state with its half-life),
// DECAY (one decay branch of an isomer) and RADIATION (one emitted line with energy and
// intensity; its key is text).
#pragma once

#include <array>

#include "quantora/frame/CachedRecord.h"
#include "quantora/frame/PlainRecord.h"

struct ISOMERData : PlainRecord<ISOMERData, 10> {
    int ISOMER_ID, NUCLEVEL_ID;
    AnsiString SYMBOL;
    short ISOMERNUM;
    double HALFLIFE, HALFLIFEUNC;
    int NUCLDATASOURCE_ID, EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;
    // Free for the caller: no column, untouched by Read and Insert, 0 after Reset.
    short Tag;

    static constexpr const char* Table = "ISOMER";
    static const ColumnList& Columns();

    ISOMERData() { Reset(); }
    void Reset() {
        PlainRecord::Reset();
        Tag = 0;
    }
    // Ordered sets of isomers are unique by key.
    bool operator<(const ISOMERData& o) const { return ISOMER_ID < o.ISOMER_ID; }
};

struct DECAYData : PlainRecord<DECAYData, 10> {
    int DECAY_ID, TRANSITIONTYPE_ID;
    int ISOMER_ID;  // the decaying isomer
    int NUCLDATASOURCE_ID;
    AnsiString NAME;
    double DECAYBRANCHING, DECAYBRANCHINGUNC;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "DECAY";
    static const ColumnList& Columns();

    DECAYData() { Reset(); }
    bool operator<(const DECAYData& o) const { return DECAY_ID < o.DECAY_ID; }
};

struct RADIATIONData : CachedRecord<RADIATIONData, 14> {
    AnsiString RADIATION_ID;
    int REACTION_ID;
    int DECAY_ID;  // the decay that emits the line
    int NUCLDATASOURCE_ID, TRANSITION_ID, TRANSFORMCHAIN_ID;
    double E;     // energy, in the database's unit
    double EUNC;  // uncertainty of E
    double INTENSITY, INTENSITYUNC;
    AnsiString RADIATIONTYPE;
    int EMPLOYEE_ID;
    TDateTime CREATIONDATE;
    AnsiString CMT;

    static constexpr const char* Table = "RADIATION";
    static const ColumnList& Columns();

    RADIATIONData() { Reset(); }

    // The key is text: an empty RADIATION_ID becomes the decimal text of the generator's next
    // key (when it can give one) before the row is written.
    void Insert(IntKeyGen* keyGen, const char* dbName, TQuery* q);
};
