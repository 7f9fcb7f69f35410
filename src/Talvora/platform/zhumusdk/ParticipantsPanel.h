#pragma once
// The side list of the meeting window: everyone in the meeting, this
// participant first and then the host, each name marked "(主持人)" or "(我)",
// with the state of their microphone and camera. The host also gets "静音"
// and "移出会议" on everyone else, and "全体静音"; the panel only reports
// these, the window decides (and the service enforces).

#include "media/MeetingEngine.h"

#include <QWidget>

class QLabel;
class QToolButton;
class QVBoxLayout;

namespace talvora::zhumu {

class ParticipantsPanel : public QWidget
{
    Q_OBJECT

public:
    explicit ParticipantsPanel(QWidget* parent = nullptr);

    void setParticipants(const QVector<media::Participant>& participants);
    void setHostControls(bool host);
    bool hostControls() const { return m_host; }

    // A participant's live audio level, dBFS, on its row.
    void setLevel(qint64 id, double dbfs);

    // The rows as read aloud: name, marks, then the muted and video states.
    QStringList rowNames() const;
    // The host's buttons on the row of participant id; null without one.
    QToolButton* muteButton(qint64 id) const;
    QToolButton* removeButton(qint64 id) const;
    QToolButton* muteAllButton() const { return m_muteAll; }

signals:
    void muteRequested(qint64 id);
    void removeRequested(qint64 id);
    void muteAllRequested();

private:
    QWidget* makeRow(const media::Participant& participant);
    QToolButton* rowButton(qint64 id, const char* objectName) const;

    QLabel* m_title;
    QWidget* m_rows;
    QVBoxLayout* m_rowLayout;
    QToolButton* m_muteAll;
    QVector<media::Participant> m_participants;
    bool m_host = false;
};

} // namespace talvora::zhumu
