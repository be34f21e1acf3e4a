// The toolkit controls the dialogs and the date helpers work with.
#pragma once

#include <QDateTimeEdit>
#include <QLineEdit>

// A control holding a date or a time of day (QDateEdit and QTimeEdit are both one).
using TDateTimePicker = QDateTimeEdit;
// A line of text.
using TEdit = QLineEdit;
