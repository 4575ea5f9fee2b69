// The "TUIO 对象" tree and the canvas with blob, 2.5D and 3D sessions.

#include "canvas/touchcanvas.h"
#include "i18n/uilanguage.h"
#include "tuio/osccodec.h"
#include "tuio/tuiosessions.h"
#include "window/tuiowidget.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// "/tuio/2Dblb set 1 .25 0.": a whole number an int, another number a float.
QByteArray message(const QString &text)
{
    QStringList words = text.split(' ');
    const QString address = words.takeFirst();
    QString tags(",s");
    QByteArray arguments;
    appendOscString(arguments, words.takeFirst());
    for (const QString &word : std::as_const(words)) {
        bool whole = false;
        const int number = word.toInt(&whole);
        tags += whole ? 'i' : 'f';
        whole ? appendInt32(arguments, number) : appendFloat32(arguments, word.toFloat());
    }
    return buildOscMessage(address, tags, arguments);
}

} // namespace

class TestProfileTree : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { UiLanguage::instance().setEnglish(false); }

    // Rows: messages applied one by one, each followed by a tree refresh; the tree's rows as
    // "id|position|angle" (groups before their rows) and the canvas's counts line.
    void groups_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("tree");
        QTest::addColumn<QString>("counts");
        const QString blob = "/tuio/2Dblb set 1 .25 .5 1.5707964 .2 .1 .02 0. 0. 0. 0. 0.";
        const QStringList three{"/tuio/3Dobj set 4 7 .1 .2 .3 3.1415927 0. 1. 0. 0. 0. 0. 0. 0. "
                                "0. 0.",
                                blob, "/tuio/25Dcur set 9 .5 .5 .75 0. 0. 0. 0."};
        const QStringList groups{"Objects|Pos|Angle", "Cursors|Pos|"};
        QTest::newRow("in the protocol's order")
            << false << three
            << groups + QStringList{"斑块 (2Dblb)||",
                                    "s1|0.250,0.500|1.57 (90.0°)  0.200×0.100  面积 0.0200",
                                    "2.5D 光标 (25Dcur)||",
                                    "s9|0.500,0.500,0.750|",
                                    "3D 物体 (3Dobj)||",
                                    "s4 c7|0.100,0.200,0.300|3.14,0.00,1.00 (180.0°,0.0°,57.3°)"}
            << "2Dblb:1 25Dcur:1 3Dobj:1";
        QTest::newRow("an emptied group goes")
            << false
            << QStringList{blob, "/tuio/3Dcur set 3 .5 .5 .5 0. 0. 0. 0.", "/tuio/2Dblb alive",
                           "/tuio/25Dblb set 2 .5 .5 .5 0. .1 .2 .02 0. 0. 0. 0. 0. 0.",
                           "/tuio/3Dblb set 6 .5 .5 .5 0. 0. 0. .1 .2 .3 .006 0. 0. 0. 0. 0. "
                           "0. 0. 0."}
            << groups + QStringList{"2.5D 斑块 (25Dblb)||",
                                    "s2|0.500,0.500,0.500|0.00 (0.0°)  0.100×0.200  面积 0.0200",
                                    "3D 光标 (3Dcur)||",
                                    "s3|0.500,0.500,0.500|",
                                    "3D 斑块 (3Dblb)||",
                                    "s6|0.500,0.500,0.500|0.00,0.00,0.00 (0.0°,0.0°,0.0°)  "
                                    "0.100×0.200×0.300  体积 0.0060"}
            << "25Dblb:1 3Dcur:1 3Dblb:1";
        QTest::newRow("English") << true << QStringList{blob}
                                 << groups + QStringList{"Blobs (2Dblb)||",
                                                         "s1|0.250,0.500|1.57 (90.0°)  "
                                                         "0.200×0.100  area 0.0200"}
                                 << "2Dblb:1";
    }

    void groups()
    {
        QFETCH(bool, english);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, tree);
        QFETCH(QString, counts);
        TuioWidget window;
        UiLanguage::instance().setEnglish(english);
        auto *view = window.findChild<QTreeWidget *>(QStringLiteral("objectTree"));
        for (const QString &text : std::as_const(messages)) {
            window.sessions()->processDatagram(message(text));
            QVERIFY(QMetaObject::invokeMethod(&window, "refreshObjectTree"));
        }
        QStringList rows;
        for (QTreeWidgetItemIterator it(view); *it; ++it)
            rows << QStringList{(*it)->text(0), (*it)->text(1), (*it)->text(2)}.join('|');
        QCOMPARE(rows, tree);
        for (int group = 2; group < view->topLevelItemCount(); ++group)
            QVERIFY(view->topLevelItem(group)->isExpanded());
        QCOMPARE(window.touchCanvas()->profileStatusText(), counts);
    }
};

QTEST_MAIN(TestProfileTree)
#include "tst_profiletree.moc"
