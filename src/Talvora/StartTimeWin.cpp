#include "StartTimeWin.h"

StartTimeWin::StartTimeWin(QWidget* parent) : TimePickerWin("StartTimeWin", "请选择会议开始时间", parent) {}
