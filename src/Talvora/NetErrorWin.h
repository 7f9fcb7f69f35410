#pragma once

#include <QDialog>

class QLabel;

// Page 5 of the main window: shown while the machine has no usable address.
class NetErrorWin : public QDialog
{
    Q_OBJECT

public:
    explicit NetErrorWin(QWidget* parent = nullptr);

    QLabel* m_pLabNetErrorIcon = nullptr;
    QLabel* m_pLabNetErrorWord = nullptr;
};
