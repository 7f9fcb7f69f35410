#include "MeetingPrompts.h"

#include <QMessageBox>
#include <QPushButton>

namespace talvora::zhumu {
namespace {

PromptHook& hook()
{
    static PromptHook current;
    return current;
}

const QString kStyle = QStringLiteral("QMessageBox{background:#ffffff;}"
                                      "QLabel{color:#333333;font-size:14px;}"
                                      "QPushButton{padding:5px 18px;font-size:14px;}");

} // namespace

void setPromptHook(PromptHook newHook)
{
    hook() = std::move(newHook);
}

void askToConfirm(QWidget* parent, const QString& text, const QString& confirm, const QString& cancel,
                  std::function<void(bool confirmed)> answer)
{
    if (hook()) {
        answer(hook()(text, confirm));
        return;
    }
    auto* box =
        new QMessageBox(QMessageBox::Question, QStringLiteral("提示"), text, QMessageBox::NoButton, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    box->setStyleSheet(kStyle);
    QPushButton* yes = box->addButton(confirm, QMessageBox::AcceptRole);
    QPushButton* no = box->addButton(cancel, QMessageBox::RejectRole);
    box->setDefaultButton(no);
    box->setEscapeButton(no);
    QObject::connect(box, &QMessageBox::finished, box,
                     [box, yes, answer] { answer(box->clickedButton() == yes); });
    // Modal to the meeting window, not to the whole program.
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box->show();
}

void showNotice(QWidget* parent, const QString& text)
{
    if (hook()) {
        hook()(text, QString());
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("提示"), text, QMessageBox::NoButton,
                                parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    box->setStyleSheet(kStyle);
    box->addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

} // namespace talvora::zhumu
