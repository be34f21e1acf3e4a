// A date-time shown in, and read back from, a date control, a time control and a millisecond
// text.
#pragma once

#include "quantora/base/Types.h"
#include "quantora/dialogs/DialogTypes.h"

// The date of `date` plus the time of day of `time`, plus the milliseconds typed into `millis`
// when given (an empty or non-numeric text counts as 0).
TDateTime Edits2DateTime(TDateTimePicker* date, TDateTimePicker* time, TEdit* millis);

// Shows `value` (now, when it is 0.0 or less) rounded to the millisecond: the date, the time of
// day to the second, and the milliseconds as three digits.
void DateTime2Edits(TDateTime value, TDateTimePicker* date, TDateTimePicker* time, TEdit* millis);
