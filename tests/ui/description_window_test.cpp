#include "ui/description_window.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
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
    void writeBack_data();
    void writeBack();
};

void DescriptionWindowTest::writeBack_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("emptied");
    QTest::addColumn<QString>("refill"); // put in after typing, as a further File list click does
    QTest::addColumn<Leave>("leave");
    QTest::addColumn<QStringList>("written");
    // clang-format off
    QTest::newRow("changed") << u"/data/a.txt"_s << u"-v2"_s << false << QString() << Leave::ExitClicked << QStringList{u"/data/a.txt-v2"_s};
    QTest::newRow("emptied") << u"/data/a.txt"_s << QString() << true << QString() << Leave::ExitClicked << QStringList{QString()};
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
