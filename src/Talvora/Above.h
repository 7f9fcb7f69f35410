#pragma once

#include <QDialog>

class QLabel;

// The translucent cover that lies over the main window's body (1070 x 690
// less the shadow band) while the window waits for the conferencing sign-in.
// Its owner styles the label.
class Above : public QDialog
{
    Q_OBJECT

public:
    explicit Above(QWidget* parent = nullptr);

    QLabel* m_pLabAbove = nullptr;

protected:
    void hideEvent(QHideEvent* event) override;
};
