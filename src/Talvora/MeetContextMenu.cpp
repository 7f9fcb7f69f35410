#include "MeetContextMenu.h"

#include "ErrorBox.h"
#include "IcsCalendar.h"
#include "MeetingInvitation.h"
#include "log/Log.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QStandardPaths>

namespace {

QString saveDialog(QWidget* parent, const QString& suggestedPath)
{
    QFileDialog dialog(parent, QString::fromUtf8("导出到日历"), suggestedPath,
                       QString::fromUtf8("日历文件 (*.ics)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("ics"));
    dialog.selectFile(suggestedPath);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return QString();
    }
    return dialog.selectedFiles().constFirst();
}

QString defaultFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return !documents.isEmpty() && QDir(documents).exists() ? documents : QDir::homePath();
}

bool opensMenu(const QKeyEvent* key)
{
    return key->key() == Qt::Key_Menu || (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier);
}

} // namespace

MeetContextMenu::MeetContextMenu(DisplayName displayName, QWidget* parent)
    : QMenu(parent), m_displayName(std::move(displayName)), m_fileChooser(saveDialog)
{
    setObjectName(QStringLiteral("MeetContextMenu"));
    m_pActCopyInvitation =
        addAction(QString::fromUtf8("复制会议邀请"), this, &MeetContextMenu::onCopyInvitation);
    m_pActCopyCode = addAction(QString::fromUtf8("复制会议码"), this, &MeetContextMenu::onCopyCode);
    m_pActExport = addAction(QString::fromUtf8("导出到日历…"), this, &MeetContextMenu::onExportToCalendar);
}

void MeetContextMenu::attach(QWidget* target, MeetingSource meeting)
{
    m_sources[target] = std::move(meeting);
    target->installEventFilter(this);
    connect(target, &QObject::destroyed, this, [this](QObject* gone) { m_sources.erase(gone); });
}

void MeetContextMenu::setFileChooser(FileChooser chooser)
{
    m_fileChooser = std::move(chooser);
}

bool MeetContextMenu::eventFilter(QObject* watched, QEvent* event)
{
    auto* target = qobject_cast<QWidget*>(watched);
    const bool asked = event->type() == QEvent::ContextMenu ||
                       (event->type() == QEvent::KeyPress && opensMenu(static_cast<QKeyEvent*>(event)));
    if (!asked || target == nullptr || m_sources.count(watched) == 0) {
        return QMenu::eventFilter(watched, event);
    }
    // The keyboard opens the menu over the middle of the meeting's widget.
    QPoint where = target->mapToGlobal(target->rect().center());
    if (event->type() == QEvent::ContextMenu) {
        const auto* request = static_cast<QContextMenuEvent*>(event);
        if (request->reason() == QContextMenuEvent::Mouse) {
            where = request->globalPos();
        }
    }
    openFor(watched, where);
    return true;
}

void MeetContextMenu::openFor(QObject* target, const QPoint& globalPos)
{
    m_meeting = m_sources[target]();
    if (!m_meeting) {
        return;
    }
    popup(globalPos);
}

void MeetContextMenu::onCopyInvitation()
{
    if (m_meeting) {
        const std::string text = talvora::MeetingInvitation::text(m_displayName().toStdString(), *m_meeting);
        QGuiApplication::clipboard()->setText(QString::fromStdString(text));
    }
}

void MeetContextMenu::onCopyCode()
{
    if (m_meeting) {
        QGuiApplication::clipboard()->setText(QString::fromStdString(m_meeting->id));
    }
}

void MeetContextMenu::onExportToCalendar()
{
    if (!m_meeting) {
        return;
    }
    // Taken now: the dialog runs an event loop in which a refresh may open
    // the menu on another meeting.
    const talvora::ScheduledMeeting meeting = *m_meeting;
    const QString path = m_fileChooser(
        parentWidget(), QDir(defaultFolder()).filePath(talvora::IcsCalendar::fileName(meeting)));
    if (path.isEmpty()) {
        return;
    }
    const std::string invitation = talvora::MeetingInvitation::text(m_displayName().toStdString(), meeting);
    const std::optional<std::string> ics =
        talvora::IcsCalendar::event(meeting, invitation, QDateTime::currentDateTimeUtc());
    QString error = QStringLiteral("the meeting's time cannot be written");
    if (!ics || !talvora::IcsCalendar::save(path, *ics, &error)) {
        LOG_WARNING << "export to calendar failed: " << error.toStdString();
        talvora::showErrorBox("导出日历文件失败");
    }
}
