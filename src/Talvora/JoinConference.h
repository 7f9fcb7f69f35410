#pragma once

#include <QDialog>
#include <QString>

#include <array>

class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

// Page 2 of the main window: a code field and a keypad. The page only
// collects the code; the main window joins with m_strMeetCode and shows the
// wrong-code line. Digits, "." and Backspace typed on the keyboard press the
// keys of the keypad, and Enter presses "加入会议".
class JoinConference : public QDialog
{
    Q_OBJECT

public:
    explicit JoinConference(QWidget* parent = nullptr);

    QLineEdit* m_QlntShow = nullptr;
    QPushButton* m_pBtnJoinMeet = nullptr;
    QString m_strMeetCode;
    QLabel* m_pLabMeetCodeWrong = nullptr;
    QPushButton* m_pBtn1 = nullptr;
    QPushButton* m_pBtn2 = nullptr;
    QPushButton* m_pBtn3 = nullptr;
    QPushButton* m_pBtn4 = nullptr;
    QPushButton* m_pBtn5 = nullptr;
    QPushButton* m_pBtn6 = nullptr;
    QPushButton* m_pBtn7 = nullptr;
    QPushButton* m_pBtn8 = nullptr;
    QPushButton* m_pBtn9 = nullptr;
    QPushButton* m_pBtn0 = nullptr;
    QPushButton* m_pBtnPoint = nullptr;
    QPushButton* m_pBtnDelete = nullptr;
    // "测试麦克风和摄像头": a small link under "加入会议".
    QPushButton* m_pBtnTestCall = nullptr;

public slots:
    void onChoose1();
    void onChoose2();
    void onChoose3();
    void onChoose4();
    void onChoose5();
    void onChoose6();
    void onChoose7();
    void onChoose8();
    void onChoose9();
    void onChoosePoint();
    void onChoose0();
    void onChooseDelete();
    void onJoinMeetStart();
    void onConetenChange();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The twelve keys in the order 1-9, 0, point, delete; the index names the
    // key's images.
    enum Key
    {
        KeyZero = 9,
        KeyPoint = 10,
        KeyDelete = 11,
        KeyCount = 12
    };

    std::array<QPushButton*, KeyCount> keys() const;
    void showKeysNormal(int pressedKey);
    // Shows the key pressed, focuses the field and appends the character (or
    // removes the last one for the delete key).
    void pressKey(int key);
    // The key a typed character stands for, or -1.
    static int keyForTyped(const QKeyEvent* event);
    // Presses the key (or "加入会议") that a typed key stands for; false when
    // it stands for none.
    bool takeTypedKey(QKeyEvent* event);
};
