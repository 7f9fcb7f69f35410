#pragma once

#include <QDialog>
#include <QString>

#include <string>

class QLabel;
class QPushButton;
class QTimer;
class CEraseMeetLab;
class CMeetConfig;
class MyQlineEdit;
class StartTimeWin;
class StopTimeWin;

// Page 4 of the main window: editing or deleting a booked meeting. The main
// window loads the meeting into it directly.
class ModifyMeet : public QDialog
{
    Q_OBJECT

public:
    // This page's own spelling of the type-button looks (a blank after the
    // image rule), used when the user switches the type here.
    static const char* const kChosenStyle;
    static const char* const kNotChosenStyle;

    explicit ModifyMeet(std::string zcode, QWidget* parent = nullptr);
    ~ModifyMeet() override;

    QLabel* m_pLabStartTime = nullptr;
    QPushButton* m_pBtnStartTime = nullptr;
    QLabel* m_pLabShowStartTime = nullptr;
    QLabel* m_pLabIcon = nullptr;
    QLabel* m_pLabEndTime = nullptr;
    QPushButton* m_pBtnEndTime = nullptr;
    QLabel* m_pLabShowEndTime = nullptr;
    QLabel* m_pLabEndIcon = nullptr;
    QLabel* m_pLabMeetTopic = nullptr;
    MyQlineEdit* m_pLnEtMeetTopic = nullptr;
    QLabel* m_pLabMeetType = nullptr;
    QPushButton* m_pBtnVedioType = nullptr;
    QPushButton* m_pBtnVoiceType = nullptr;
    QPushButton* m_pBtnDelMeet = nullptr;
    QPushButton* m_pBtnCancelModify = nullptr;
    QPushButton* m_pBtnSaveModify = nullptr;
    // Top-level pop-ups, deleted by the destructor. Opening a picker keeps its
    // wheels: they show the loaded meeting or the user's last choice.
    StartTimeWin* m_pStartTimeWin = nullptr;
    StopTimeWin* m_pStopTimeWin = nullptr;
    std::string m_strMeetCode;
    bool m_bVedioMeet = true;
    int m_iYear = 0;
    int m_iMonth = 0;
    int m_iDay = 0;
    int m_iHour = 0;
    int m_iMinute = 0;
    int m_iYearStop = 0;
    int m_iMonthStop = 0;
    int m_iDayStop = 0;
    int m_iHourStop = 0;
    int m_iMinuteStop = 0;
    CMeetConfig* m_pDelConfig = nullptr;
    CEraseMeetLab* m_pEraseMeetLab = nullptr;
    QTimer* m_pTimer = nullptr;
    QLabel* m_pLabModifyMeet = nullptr;
    QLabel* m_pLabline = nullptr;
    QLabel* m_pLabline2 = nullptr;
    QLabel* m_pLabline3 = nullptr;
    std::string m_strZcode;
    QString m_qstrTopic;
    std::string m_strNoVideo;

signals:
    void modifySave();
    void modifyCancel();
    void delMeetSure();

public slots:
    void onSetStartTime();
    void onSetStopTime();
    void onStartTimeWinSave();
    void onStartTimeWinCancel();
    void onStopTimeWinSave();
    void onStopTimeWinCancel();
    void onChooseVedioMeet();
    void onChooseAudioMeet();
    void onDeleteMeet();
    void onCancelModify();
    void onSaveModify();
    void onDeleteMeetCancel();
    void onDeleteMeetSave();
    void onTimeout();

protected:
    // A press on the page itself takes the focus from the topic field.
    void mousePressEvent(QMouseEvent* event) override;
};
