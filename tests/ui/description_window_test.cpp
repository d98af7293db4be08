#include "ui/description_window.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

/// How the user leaves the window.
enum class Leave
{
    ExitClicked,
    ExitByKeys, // Tab to Exit, then Space
    Closed
};
Q_DECLARE_METATYPE(Leave)

class DescriptionWindowTest : public QObject
{
    Q_OBJECT

    QPointer<Description> m_window;

private Q_SLOTS:
    void init()
    {
        m_window = new Description;
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }
    void cleanup()
    {
        delete m_window;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void layout();
    void writeBack_data();
    void writeBack();
};

void DescriptionWindowTest::layout()
{
    const auto pixels = [this](int left, int top, int width, int height) {
        const auto x = [this](int twips) {
            return qRound(twips * m_window->logicalDpiX() / 1440.0);
        };
        const auto y = [this](int twips) {
            return qRound(twips * m_window->logicalDpiY() / 1440.0);
        };
        return QRect(x(left), y(top), x(width), y(height));
    };
    QCOMPARE(m_window->windowTitle(), u"Description"_s);
    QCOMPARE(m_window->size(), pixels(0, 0, 8805, 2130).size());
    QCOMPARE(m_window->frmDescription->geometry(), pixels(240, 240, 8295, 1215));
    QCOMPARE(m_window->cmdExit->geometry(), pixels(3480, 1560, 1815, 435));
    QCOMPARE(m_window->cmdExit->text(), u"Exit"_s);
    QCOMPARE(m_window->palette().color(QPalette::Window), QColor(0xE0, 0xE0, 0xE0));
    QVERIFY(m_window->frmDescription->verticalScrollBar()->isVisible());
    QVERIFY(!m_window->isModal());
}

void DescriptionWindowTest::writeBack_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("emptied");
    QTest::addColumn<QString>("refill"); // put in after typing, as a further File list click does
    QTest::addColumn<Leave>("leave");
    QTest::addColumn<QStringList>("written");
    // clang-format off
    QTest::newRow("unchanged") << u"/data/a.txt"_s << QString() << false << QString() << Leave::ExitClicked << QStringList{u"/data/a.txt"_s};
    QTest::newRow("changed") << u"/data/a.txt"_s << u"-v2"_s << false << QString() << Leave::ExitClicked << QStringList{u"/data/a.txt-v2"_s};
    QTest::newRow("emptied") << u"/data/a.txt"_s << QString() << true << QString() << Leave::ExitClicked << QStringList{QString()};
    QTest::newRow("empty row filled") << QString() << u"/srv/new file"_s << false << QString() << Leave::ExitClicked << QStringList{u"/srv/new file"_s};
    QTest::newRow("by keys") << u"/data/a.txt"_s << u"x"_s << false << QString() << Leave::ExitByKeys << QStringList{u"/data/a.txtx"_s};
    QTest::newRow("refilled") << u"/data/a.txt"_s << u"x"_s << false << u"/data/b.txt"_s << Leave::ExitClicked << QStringList{u"/data/b.txt"_s};
    QTest::newRow("closed") << u"/data/a.txt"_s << u"x"_s << false << QString() << Leave::Closed << QStringList{};
    // clang-format on
}

void DescriptionWindowTest::writeBack()
{
    QFETCH(QString, entry);
    QFETCH(QString, typed);
    QFETCH(bool, emptied);
    QFETCH(QString, refill);
    QFETCH(Leave, leave);
    QFETCH(QStringList, written);

    QStringList writes;
    connect(m_window, &Description::writeBack, this,
            [&writes](const QString &text) { writes << text; });
    m_window->setEntryText(entry);
    QTest::keyClick(m_window->frmDescription, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClicks(m_window->frmDescription, typed);
    if (emptied) {
        QTest::keyClick(m_window->frmDescription, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(m_window->frmDescription, Qt::Key_Delete);
    }
    if (!refill.isNull())
        m_window->setEntryText(refill);

    switch (leave) {
    case Leave::ExitClicked:
        QTest::mouseClick(m_window->cmdExit, Qt::LeftButton);
        break;
    case Leave::ExitByKeys:
        QTest::keyClick(m_window->frmDescription, Qt::Key_Tab);
        QVERIFY(m_window->cmdExit->hasFocus());
        QTest::keyClick(m_window->cmdExit, Qt::Key_Space);
        break;
    case Leave::Closed:
        m_window->close();
        break;
    }
    QCOMPARE(writes, written);
    // Either way the window is hidden and then unloaded.
    QVERIFY(m_window && m_window->isHidden());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!m_window);
}

QTEST_MAIN(DescriptionWindowTest)
#include "description_window_test.moc"
