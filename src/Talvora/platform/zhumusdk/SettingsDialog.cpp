#include "SettingsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace talvora::zhumu {
namespace {

QCheckBox* addSwitch(QVBoxLayout* layout, const QString& text, const char* objectName, bool& value)
{
    auto* box = new QCheckBox(text);
    box->setObjectName(QString::fromLatin1(objectName));
    box->setChecked(value);
    QObject::connect(box, &QCheckBox::toggled, [&value](bool on) { value = on; });
    layout->addWidget(box);
    return box;
}

} // namespace

MeetingSwitches& SettingsDialog::switches()
{
    static MeetingSwitches current;
    return current;
}

SettingsDialog::SettingsDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("zhumuSettingsDialog"));
    setWindowTitle(QStringLiteral("设置"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumWidth(280);
    // Its own look: as a child of the client's window it would otherwise take
    // on that window's style sheet.
    setStyleSheet(QStringLiteral("QDialog{background:#ffffff;}"
                                 "QCheckBox{color:#333333;font-size:14px;padding:4px 0;}"
                                 "QPushButton{padding:4px 16px;}"));

    MeetingSwitches& state = switches();
    auto* layout = new QVBoxLayout(this);
    addSwitch(layout, QStringLiteral("入会时开启摄像头"), "cameraOnJoin", state.cameraOnJoin);
    addSwitch(layout, QStringLiteral("入会时自动连接音频"), "autoConnectAudio", state.autoConnectAudio);
    addSwitch(layout, QStringLiteral("进入全屏"), "fullScreen", state.fullScreen);
    layout->addStretch();

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* close = buttons->addButton(QStringLiteral("关闭"), QDialogButtonBox::RejectRole);
    close->setAutoDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
}

} // namespace talvora::zhumu
