#pragma once
// Commands a test gives a running meeting-participant, one a line on a
// descriptor (standard input): the first word says what, the rest of the
// line is its argument ("chat 你好", "tone-level -40", "share"). Lets a test
// order a participant's actions after what it has seen, instead of guessing
// their time in advance.

#include <QByteArray>
#include <QObject>
#include <QString>

class QSocketNotifier;

class ParticipantCommands : public QObject
{
    Q_OBJECT

public:
    explicit ParticipantCommands(int descriptor, QObject* parent = nullptr);

signals:
    // verb in lower case; argument with its surrounding blanks dropped.
    void command(const QString& verb, const QString& argument);

private:
    void readAvailable();

    int m_descriptor;
    QSocketNotifier* m_notifier;
    QByteArray m_pending; // a line not ended yet
};
