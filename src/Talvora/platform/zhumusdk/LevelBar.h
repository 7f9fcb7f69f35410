#pragma once
// A participant's live audio level: a small bar of five segments that light
// from -60 dBFS up to -10 dBFS. No focus, not read aloud on its own.

#include <QWidget>

namespace talvora::zhumu {

class LevelBar : public QWidget
{
    Q_OBJECT

public:
    explicit LevelBar(QWidget* parent = nullptr);

    void setLevel(double dbfs);
    // Lit segments, 0 to 5.
    int segments() const { return m_segments; }

    QSize sizeHint() const override { return {28, 8}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_segments = 0;
};

} // namespace talvora::zhumu
