#pragma once

#include "MyQlineEdit.h"

#include <QDialog>

class QLabel;
class QPushButton;

// The instant-meeting pane of the create page. The main window connects the
// start button and reads the topic field and the video flag.
class TempMeetWin : public QDialog
{
    Q_OBJECT

public:
    explicit TempMeetWin(QWidget* parent = nullptr);

    QPushButton* m_pBtnTempMeetStart = nullptr;
    bool m_bVedioMeet = true;
    MyQlineEdit* m_pLnEtMeetTopic = nullptr;
    QLabel* m_pLabMeetTopic = nullptr;
    QLabel* m_pLabline = nullptr;
    QLabel* m_pLabMeetType = nullptr;
    QPushButton* m_pBtnVedioType = nullptr;
    QPushButton* m_pBtnVoiceType = nullptr;

public slots:
    void onChooseVedioType();
    void onChooseVoiceType();

protected:
    // A press on the pane itself takes the focus from the topic field, so an
    // empty field shows its placeholder again.
    void mousePressEvent(QMouseEvent* event) override;
};
