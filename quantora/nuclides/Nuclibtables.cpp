// Column lists of ISOMER, DECAY and RADIATION, and the text key of RADIATION.
#include "quantora/nuclides/Nuclibtables.h"

#include <string>

using quantora::Col;
using quantora::DateCol;

const ISOMERData::ColumnList& ISOMERData::Columns() {
    using R = ISOMERData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("ISOMER_ID", &R::ISOMER_ID).Key(),
        Col("NUCLEVEL_ID", &R::NUCLEVEL_ID).IfPositive(),
        Col("SYMBOL", &R::SYMBOL),
        Col("ISOMERNUM", &R::ISOMERNUM),
        Col("HALFLIFE", &R::HALFLIFE).IfPositive(),
        Col("HALFLIFEUNC", &R::HALFLIFEUNC).IfPositive(),
        Col("NUCLDATASOURCE_ID", &R::NUCLDATASOURCE_ID).IfPositive(),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE).ResetTo(0.0),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const DECAYData::ColumnList& DECAYData::Columns() {
    using R = DECAYData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("DECAY_ID", &R::DECAY_ID).Key(),
        Col("TRANSITIONTYPE_ID", &R::TRANSITIONTYPE_ID),
        Col("ISOMER_ID", &R::ISOMER_ID),
        Col("NUCLDATASOURCE_ID", &R::NUCLDATASOURCE_ID).IfPositive(),
        Col("NAME", &R::NAME),
        Col("DECAYBRANCHING", &R::DECAYBRANCHING).IfPositive(),
        Col("DECAYBRANCHINGUNC", &R::DECAYBRANCHINGUNC).IfPositive(),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID),
        DateCol("CREATIONDATE", &R::CREATIONDATE).ResetTo(0.0),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

const RADIATIONData::ColumnList& RADIATIONData::Columns() {
    using R = RADIATIONData;
    static constexpr auto cols = quantora::MakeColumns<R>({
        Col("RADIATION_ID", &R::RADIATION_ID).Key(),
        Col("REACTION_ID", &R::REACTION_ID).IfPositive(),
        Col("DECAY_ID", &R::DECAY_ID).IfPositive(),
        Col("NUCLDATASOURCE_ID", &R::NUCLDATASOURCE_ID).IfPositive(),
        Col("TRANSITION_ID", &R::TRANSITION_ID).IfPositive(),
        Col("TRANSFORMCHAIN_ID", &R::TRANSFORMCHAIN_ID).IfPositive(),
        Col("E", &R::E),
        Col("EUNC", &R::EUNC).IfPositive(),
        Col("INTENSITY", &R::INTENSITY).IfPositive(),
        Col("INTENSITYUNC", &R::INTENSITYUNC).IfPositive(),
        Col("RADIATIONTYPE", &R::RADIATIONTYPE),
        Col("EMPLOYEE_ID", &R::EMPLOYEE_ID).IfPositive(),
        DateCol("CREATIONDATE", &R::CREATIONDATE),
        Col("CMT", &R::CMT).IfNotEmpty(),
    });
    return cols;
}

void RADIATIONData::Insert(IntKeyGen* keyGen, const char* dbName, TQuery* q) {
    if (RADIATION_ID.empty() && keyGen && keyGen->CanGenerate())
        RADIATION_ID = std::to_string(keyGen->NextKey());
    CachedRecord::Insert(keyGen, dbName, q);
}
