#include "StopTimeWin.h"

StopTimeWin::StopTimeWin(QWidget* parent) : TimePickerWin("StopTimeWin", "请选择会议结束时间", parent) {}
