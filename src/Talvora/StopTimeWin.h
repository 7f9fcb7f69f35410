#pragma once

#include "TimePickerWin.h"

// The picker for a booking's end time.
class StopTimeWin : public TimePickerWin
{
    Q_OBJECT

public:
    explicit StopTimeWin(QWidget* parent = nullptr);
};
