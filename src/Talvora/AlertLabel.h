#pragma once

#include <QLabel>

// A label that reports a failure where it appears (the join page's wrong
// code). To a screen reader it is an alert, read out as soon as it shows.
class AlertLabel : public QLabel
{
    Q_OBJECT

public:
    explicit AlertLabel(const QString& text, QWidget* parent = nullptr);
};
