// Date-time controls and TDateTime.
#include "quantora/dialogs/DateEdits.h"

#include <cmath>
#include <cstdio>

#include "quantora/base/DateTime.h"
#include "quantora/frame/DbUtils.h"

namespace {

const QDate kEpoch(1899, 12, 30);

TDateTime Now() {
    QDateTime now = QDateTime::currentDateTime();
    QTime t = now.time();
    return static_cast<double>(kEpoch.daysTo(now.date())) + (t.msecsSinceStartOfDay() / 86400000.0);
}

}  // namespace

TDateTime Edits2DateTime(TDateTimePicker* date, TDateTimePicker* time, TEdit* millis) {
    TDateTime value = 0.0;
    if (date) value += static_cast<double>(kEpoch.daysTo(date->date()));
    if (time) value += time->time().msecsSinceStartOfDay() / 86400000.0;
    if (millis) {
        bool ok = false;
        double ms = millis->text().trimmed().toDouble(&ok);
        if (ok && std::isfinite(ms)) value += Millisecs2DateTime(ms);
    }
    return value;
}

void DateTime2Edits(TDateTime value, TDateTimePicker* date, TDateTimePicker* time, TEdit* millis) {
    if (value <= 0.0) value = Now();
    value += Millisecs2DateTime(0.5);
    double days = std::floor(value);
    double fraction = value - days;
    if (date) {
        date->setDate(kEpoch.addDays(static_cast<qint64>(days)));
        date->setTime(QTime(0, 0));
    }
    double seconds = fraction * 86400.0;
    double whole = std::floor(seconds);
    if (time) time->setTime(QTime(0, 0).addSecs(static_cast<int>(whole)));
    if (millis) {
        char text[16];
        std::snprintf(text, sizeof text, "%03.0f", std::floor((seconds - whole) * 1000.0));
        millis->setText(QString::fromLatin1(text));
    }
}
