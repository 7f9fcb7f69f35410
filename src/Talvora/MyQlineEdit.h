#pragma once

#include <QLineEdit>

// The topic field of the create and edit pages. Its placeholder is real text,
// so every reader compares the field's text with kPlaceholder.
class MyQlineEdit : public QLineEdit
{
    Q_OBJECT

public:
    static const char* const kPlaceholder;

    explicit MyQlineEdit(QWidget* parent = nullptr);

    bool holdsPlaceholder() const;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
};
