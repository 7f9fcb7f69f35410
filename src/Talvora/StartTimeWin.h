#pragma once

#include "TimePickerWin.h"

// The picker for a booking's start time.
class StartTimeWin : public TimePickerWin
{
    Q_OBJECT

public:
    explicit StartTimeWin(QWidget* parent = nullptr);
};
