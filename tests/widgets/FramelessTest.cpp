// The frameless conventions: where the shadow lands, how the two drag variants
// move a window, and what the confirmation and rename dialogs paint.

#include "CMeetConfig.h"
#include "CremaneWindow.h"
#include "FramelessWindow.h"
#include "WidgetTestSupport.h"

#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QtTest>

namespace frameless = talvora::frameless;
using widgettest::drag;
using widgettest::sendMouse;

// A window with the drag variant without a pressed flag, as the main window
// uses it.
class FreeDragWindow : public QWidget
{
public:
    QPoint m_ptDragOffset;

protected:
    void mousePressEvent(QMouseEvent* event) override { frameless::startDrag(m_ptDragOffset, *this, event); }
    void mouseMoveEvent(QMouseEvent* event) override { frameless::followDrag(*this, m_ptDragOffset, event); }
};

class FramelessTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initTalvoraResources(); }

    void shadowTargetsOfA750By409Window()
    {
        const auto targets = frameless::shadowTargets(QSize(750, 409));
        QCOMPARE(targets[frameless::BottomEdge], QRect(5, 402, 740, 7));
        QCOMPARE(targets[frameless::TopEdge], QRect(5, 0, 740, 3));
        QCOMPARE(targets[frameless::LeftEdge], QRect(0, 3, 5, 399));
        QCOMPARE(targets[frameless::RightEdge], QRect(745, 3, 5, 399));
        QCOMPARE(targets[frameless::TopRightCorner], QRect(745, 0, 5, 3));
        QCOMPARE(targets[frameless::TopLeftCorner], QRect(0, 0, 5, 3));
        QCOMPARE(targets[frameless::BottomLeftCorner], QRect(0, 402, 5, 7));
        QCOMPARE(targets[frameless::BottomRightCorner], QRect(745, 402, 5, 7));
    }

    void shadowPartsTileTheBandExactly()
    {
        // Corners keep their size whatever the window; the eight parts cover
        // the band once and never reach into the body.
        for (const QSize size : {QSize(750, 409), QSize(470, 229), QSize(1070, 690)}) {
            const auto targets = frameless::shadowTargets(size);
            const auto sources = frameless::shadowSources();
            QCOMPARE(sources[frameless::TopLeftCorner].size(), targets[frameless::TopLeftCorner].size());
            QCOMPARE(sources[frameless::BottomRightCorner].size(),
                     targets[frameless::BottomRightCorner].size());
            int area = 0;
            for (const QRect& target : targets) {
                QVERIFY(!target.intersects(frameless::bodyRect(size)));
                area += target.width() * target.height();
            }
            QCOMPARE(area, size.width() * size.height() -
                               frameless::bodyRect(size).width() * frameless::bodyRect(size).height());
        }
    }

    void shadowImageHasTheExpectedSize() { QCOMPARE(frameless::loadShadow().size(), QSize(210, 143)); }

    void confirmationPaintsBodyShadowAndSeparators()
    {
        CMeetConfig dialog(QString::fromUtf8("确定退出并注销账号?"));
        QCOMPARE(dialog.size(), QSize(470, 229));
        QCOMPARE(dialog.objectName(), QStringLiteral("MeetConfigMain"));
        const QImage image = dialog.grab().toImage();
        // Body white, the corner of the band as translucent as the image's.
        QCOMPARE(QColor(image.pixel(100, 40)), QColor(Qt::white));
        QVERIFY(qAlpha(image.pixel(0, 0)) < 255);
        QVERIFY(qAlpha(image.pixel(200, 226)) > 0);
        // The line above the buttons (y = h - 68) is darker than the body.
        QVERIFY(qRed(image.pixel(100, 229 - 68)) < 255);
        QVERIFY(qRed(image.pixel(233, 200)) < 255);
    }

    void freeDragFollowsAnyButton()
    {
        FreeDragWindow window;
        window.setWindowFlags(Qt::FramelessWindowHint);
        window.resize(300, 200);
        window.move(100, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        drag(&window, Qt::RightButton, QPoint(150, 120), QPoint(400, 300));
        QCOMPARE(window.pos(), QPoint(350, 280));

        // Without a new press the last offset still applies.
        sendMouse(&window, QEvent::MouseMove, Qt::LeftButton, QPoint(420, 330));
        QCOMPARE(window.pos(), QPoint(370, 310));
    }

    void pressedDragFollowsOnlyWhilePressed()
    {
        CMeetConfig dialog(QStringLiteral("x"));
        dialog.move(100, 100);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        drag(&dialog, Qt::RightButton, QPoint(110, 105), QPoint(310, 255));
        QCOMPARE(dialog.pos(), QPoint(300, 250));

        sendMouse(&dialog, QEvent::MouseMove, Qt::RightButton, QPoint(500, 500));
        QCOMPARE(dialog.pos(), QPoint(300, 250));
    }

    void renameDialogDragsAndIgnoresAStrayMove()
    {
        CremaneWindow dialog(QStringLiteral("name"));
        dialog.move(50, 60);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        sendMouse(&dialog, QEvent::MouseMove, Qt::LeftButton, QPoint(400, 400));
        QCOMPARE(dialog.pos(), QPoint(50, 60));
        drag(&dialog, Qt::RightButton, QPoint(60, 70), QPoint(160, 270));
        QCOMPARE(dialog.pos(), QPoint(150, 260));
    }
};

QTEST_MAIN(FramelessTest)
#include "FramelessTest.moc"
