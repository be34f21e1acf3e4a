// SOCI's headers as the benchmarks include them. Debian's SOCI was built with Boost, so its
// configuration header turns on the Boost conversions (optional, fusion, tuple, gregorian dates),
// which are header-only templates that need Boost's headers. The benchmarks use none of them, so
// they are turned off here and SOCI works without Boost installed.
#pragma once

#include <soci/soci-config.h>
#undef SOCI_HAVE_BOOST
#undef SOCI_HAVE_BOOST_DATE_TIME
#include <soci/soci.h>
