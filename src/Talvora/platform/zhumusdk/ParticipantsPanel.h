#pragma once
// The side list of the meeting window: everyone in the meeting, this
// participant first and then the host, each name marked "(主持人)" or "(我)",
// with the state of their microphone and camera.

#include "media/MeetingEngine.h"

#include <QWidget>

class QLabel;
class QVBoxLayout;

namespace talvora::zhumu {

class ParticipantsPanel : public QWidget
{
    Q_OBJECT

public:
    explicit ParticipantsPanel(QWidget* parent = nullptr);

    void setParticipants(const QVector<media::Participant>& participants);

    // A participant's live audio level, dBFS, on its row.
    void setLevel(qint64 id, double dbfs);

    // The rows as read aloud: name, marks, then the muted and video states.
    QStringList rowNames() const;

private:
    QWidget* makeRow(const media::Participant& participant);

    QLabel* m_title;
    QWidget* m_rows;
    QVBoxLayout* m_rowLayout;
};

} // namespace talvora::zhumu
