#pragma once
// "共享屏幕": the screens, each with a thumbnail, and the top-level windows,
// each with its title, in one list; "共享" hands the choice on through
// chosen(). Opens without blocking (open()), so the meeting goes on behind
// it.

#include "ShareSources.h"

#include <QDialog>

class QListWidget;
class QPushButton;

namespace talvora::zhumu {

class ShareChooser : public QDialog
{
    Q_OBJECT

public:
    ShareChooser(ShareSources& sources, QWidget* parent = nullptr);

    QListWidget* list() const { return m_list; }
    QPushButton* shareButton() const { return m_share; }

signals:
    void chosen(const talvora::media::ShareSource& source);

private:
    QListWidget* m_list;
    QPushButton* m_share;
    QVector<ShareCandidate> m_candidates; // in the list's order
};

} // namespace talvora::zhumu
