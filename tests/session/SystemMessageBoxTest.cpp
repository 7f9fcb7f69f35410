// The platform's "错误提示" box: a plain system dialog, and its test hook.

#include "platform/system/SystemMessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStyle>
#include <QTimer>
#include <QtTest>

class SystemMessageBoxTest : public QObject
{
    Q_OBJECT

private slots:
    void showsPlainBoxWithOneOkButton();
    void hookTakesTheBox();
};

void SystemMessageBoxTest::showsPlainBoxWithOneOkButton()
{
    QString title;
    QString text;
    QList<QAbstractButton*> buttons;
    QMessageBox::Icon icon = QMessageBox::Critical;
    bool hasOwner = true;
    QString styleName;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box != nullptr);
        title = box->windowTitle();
        text = box->text();
        buttons = box->buttons();
        icon = box->icon();
        hasOwner = box->parentWidget() != nullptr;
        styleName = box->style()->objectName();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });

    talvora::platform::showSystemMessageBox(L"错误提示", L"SDK key or secret wrong");

    QCOMPARE(title, QString::fromUtf8("错误提示"));
    QCOMPARE(text, QStringLiteral("SDK key or secret wrong"));
    QCOMPARE(buttons.size(), 1);
    QCOMPARE(icon, QMessageBox::NoIcon);
    QVERIFY(!hasOwner);
    // The platform's own look, not the client's.
    QCOMPARE(styleName, QStringLiteral("fusion"));
}

void SystemMessageBoxTest::hookTakesTheBox()
{
    std::wstring title;
    std::wstring text;
    talvora::platform::setSystemMessageBoxHook(
        [&](const std::wstring& hookTitle, const std::wstring& hookText) {
            title = hookTitle;
            text = hookText;
        });
    talvora::platform::showSystemMessageBox(L"错误提示", L"NONE");
    talvora::platform::setSystemMessageBoxHook({});

    QCOMPARE(title, std::wstring(L"错误提示"));
    QCOMPARE(text, std::wstring(L"NONE"));
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

QTEST_MAIN(SystemMessageBoxTest)
#include "SystemMessageBoxTest.moc"
