#include "ads/adbanner.h"
#include "i18n/uilanguage.h"
#include "site/siteurl.h"
#include "support/loopbackonly.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

namespace {

constexpr qint64 MiB = 1024 * 1024;
const QString link = "https://www.tactora.example/p", line = "#8b5cf6";
const QString loadingText = "<span style='color:#64748B;'>▶ 广告加载中...</span>";
// A backslash before the closing quote would escape it for the label's parser.
const QString hostile = "http://127.0.0.1/x\\' onclick='y'><b>in</b><a href='z&q=\"2\"\\";

struct Reply
{
    QByteArray body;
    int status = 200;
    bool endless = false; // no length, a body that never ends
};

// A tiny HTTP/1.1 responder on 127.0.0.1: one request per connection, answered by path.
struct Http : QTcpServer
{
    QHash<QByteArray, Reply> routes;
    QByteArrayList requests; // request heads

    Http()
    {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *s = nextPendingConnection();
            connect(s, &QTcpSocket::readyRead, s, [this, s] {
                if (!s->peek(s->bytesAvailable()).endsWith("\r\n\r\n"))
                    return;
                const QByteArray head = requests.emplace_back(s->readAll());
                const Reply r = routes.value(head.split(' ').value(1).split('?')[0], {"", 404});
                const QByteArray length = "Content-Length: " + QByteArray::number(r.body.size());
                s->write("HTTP/1.1 " + QByteArray::number(r.status) +
                         " X\r\nConnection: close\r\n" + (r.endless ? "" : length + "\r\n") +
                         "\r\n" + r.body);
                if (!r.endless)
                    s->disconnectFromHost();
                else // every chunk sent asks for the next
                    connect(s, &QTcpSocket::bytesWritten, s,
                            [s] { s->write(QByteArray(64 * 1024, ' ')); });
            });
        });
    }
};

QJsonObject ad(const QString &title, const QString &link, const QString &target = "product",
               const QString &description = {}, const QString &imageUrl = QString())
{
    const QString type = imageUrl.isNull() ? "text" : "image";
    return {{"status", 1},          {"target_type", target}, {"ad_type", type},
            {"title", title},       {"link_url", link},      {"description", description},
            {"image_url", imageUrl}};
}
Reply ads(const QJsonArray &list, const QJsonValue &success = true, qint64 padTo = 0)
{
    auto body = QJsonDocument(QJsonObject{{"success", success}, {"ads", list}}).toJson();
    return {body + QByteArray(qMax<qint64>(0, padTo - body.size()), ' ')};
}

// One bit per pixel: cheap whatever its size.
QByteArray png(int w, int h, qint64 padTo = 0)
{
    QImage image(w, h, QImage::Format_Mono);
    image.setColorTable({qRgb(0x33, 0x66, 0xCC), qRgb(0x33, 0x66, 0xCC)});
    image.fill(0);
    QBuffer buffer;
    image.save(&buffer, "PNG");
    return buffer.data() + QByteArray(qMax<qint64>(0, padTo - buffer.size()), '\0');
}

// The label's rich text as "badge colour or picture size and colour|text|decoded link".
QString seen(const QString &html)
{
    QTextDocument document;
    document.setHtml(html);
    QString colour, href;
    for (auto it = document.begin().begin(); !it.atEnd(); ++it) {
        const QTextCharFormat format = it.fragment().charFormat();
        href += href.isEmpty() ? format.anchorHref() : QString();
        const QString data = format.toImageFormat().name().section(',', 1);
        const QImage image = QImage::fromData(QByteArray::fromBase64(data.toLatin1()));
        if (!image.isNull())
            colour = QString::asprintf("%dx%d ", image.width(), image.height()) +
                     image.pixelColor(image.width() / 2, 0).name();
        else if (colour.isEmpty())
            colour = format.background().color().name();
    }
    const QString text = document.toPlainText().remove(QChar::ObjectReplacementCharacter);
    return colour + '|' + text + '|' + QUrl::fromPercentEncoding(href.toUtf8());
}
QString shown(const QString &text, const QString &colour = "#10b981", const QString &href = link)
{
    return colour + '|' + text + '|' + href;
}
QString picture(int w, int h, const QString &href = link)
{
    return shown({}, QString("%1x%2 #3366cc").arg(w).arg(h), href);
}

} // namespace

class TestAdBanner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        setSiteBaseUrl("http://127.0.0.1:" + QString::number(http.serverPort()));
    }
    void init()
    {
        banner.reset();
        http.routes.clear();
        http.requests.clear();
        openedLinks().clear();
    }

    // Rows: the list's reply, the picture's reply if any, what the strip shows in rotation order;
    // nothing: the built-in three.
    void rotation_data()
    {
        QTest::addColumn<Reply>("list");
        QTest::addColumn<Reply>("pictureReply");
        QTest::addColumn<QStringList>("shown");
        auto row = [](const char *name, const Reply &list, const QStringList &shown,
                      Reply pic = {}) { QTest::newRow(name) << list << pic << shown; };
        const QJsonArray one = {ad("甲", link)};
        const QJsonObject status0{{"status", 0}}, status2{{"status", 2}};
        row("empty link is #", ads({ad("无", "")}), {shown("品无", "#10b981", "#")});
        row("% in title, one pass", ads({ad("50% %1 %3 %4", link)}), {shown("品50% %1 %3 %4")});
        row("hostile link, title and description",
            ads({ad("<b>粗</b>", hostile, "product", "<i>&</i>")}),
            {shown("品<b>粗</b> — <i>&</i>", "#10b981", hostile)});
        row("image ad without address is text", ads({ad("图", link, "line", "说明", "")}),
            {shown("线图 — 说明", line)});
        row("status filtering",
            ads({status2, ad("甲", link), status0, QJsonObject{{"status", "1"}}, QJsonObject{},
                 ad("乙", link)}),
            {shown("品甲"), shown("品乙")});
        row("three items, each badge",
            ads({ad("一", link), ad("二", link, "line"), ad("三", link, "Product")}),
            {shown("品一"), shown("线二", line), shown("AD三", "#64748b")});
        QJsonArray sixty;
        QStringList all;
        for (int i = 0; i < 60; ++i)
            sixty.append(ad(QString::number(i), link)), all << shown("品" + QString::number(i));
        row("at most 50 in rotation", ads(sixty), all.mid(0, 50));
        row("one item; list of exactly 1 MiB", ads(one, true, MiB), {shown("品甲")});

        row("HTTP 500", {ads(one).body, 500}, {});
        row("not an object", {"[" + ads(one).body + "]"}, {});
        row("success missing", {"{\"ads\":[{\"status\":1}]}"}, {});
        row("success false", ads(one, false), {});
        row("success a number", ads(one, 1), {});
        row("ads empty", ads({}), {});
        // Hostile: each would be a valid list if it were read whole.
        row("list over 1 MiB", ads(one, true, MiB + 1), {});
        row("endless list", {ads(one).body, 200, true}, {});

        const Reply pair =
            ads({ad("文字", link), ad("图", link, "line", {}, siteBaseUrl() + "/p")});
        const QString loading = shown("线图 — 图片加载中...", line);
        auto pictureRow = [&](const char *name, const Reply &pic, const QString &shown) {
            row(name, pair, {::shown("品文字"), shown}, pic);
        };
        pictureRow("720x90", {png(720, 90)}, picture(288, 36));
        pictureRow("2000x40", {png(2000, 40)}, picture(500, 10));
        pictureRow("100x20 kept", {png(100, 20)}, picture(100, 20));
        pictureRow("1x1000 never empty", {png(1, 1000)}, picture(1, 36));
        pictureRow("8 MiB accepted", {png(100, 20, 8 * MiB)}, picture(100, 20));
        pictureRow("HTTP 404", {png(100, 20), 404}, loading);
        pictureRow("not a picture", {"hello"}, loading);
        // Hostile: each decodes fine if nobody checks.
        pictureRow("over 8 MiB", {png(100, 20, 8 * MiB + 1)}, loading);
        pictureRow("endless picture", {png(100, 20), 200, true}, loading);
        pictureRow("4097 wide", {png(4097, 16)}, loading);
        pictureRow("4097 tall", {png(16, 4097)}, loading);
        pictureRow("2049x2048 pixels", {png(2049, 2048)}, loading);
        row("hostile link, picture", ads({ad("图", hostile, "line", {}, siteBaseUrl() + "/p")}),
            {picture(100, 20, hostile)}, {png(100, 20)});
        static QTemporaryDir dir; // a picture on this machine is never read, however good
        QFile local(dir.filePath("ad.png"));
        QVERIFY(local.open(QIODevice::WriteOnly) && local.write(png(100, 20)) > 0);
        const QString localUrl = QUrl::fromLocalFile(local.fileName()).toString();
        row("picture on this machine", ads({ad("图", link, "line", {}, localUrl)}), {loading});
    }
    void rotation()
    {
        QFETCH(Reply, list);
        QFETCH(Reply, pictureReply);
        QFETCH(QStringList, shown);
        http.routes["/api/ads"] = list;
        if (!pictureReply.body.isEmpty())
            http.routes["/p"] = pictureReply;
        makeBanner();
        QTRY_VERIFY_WITH_TIMEOUT(label->text() != loadingText &&
                                     banner->findChildren<QNetworkReply *>().isEmpty(),
                                 15000);
        if (shown.isEmpty()) {
            const QString root = siteBaseUrl();
            shown = {::shown("AD🚀 Brevantis Pro — 专业调试工具套件", "#64748b", root),
                     ::shown("AD📖 在线文档 — 查看完整使用指南", "#64748b", root + "/docs/quorbell"),
                     ::shown("AD⭐ 更多工具 — 探索 Quorbell 全系产品", "#64748b", root)};
        }
        for (int i = 0; i < 2 * shown.size(); ++i) {
            QCOMPARE(seen(label->text()), shown[i % shown.size()]);
            label->clear(); // each tick draws again, even the same item, a picture from its cache
            tick();
            // The window retranslates after each switch; the strip is no interface text.
            UiLanguage::instance().setEnglish(i % 2 == 0);
            UiLanguage::instance().retranslateWidgetTree(banner.get());
        }
        QVERIFY(banner->findChild<QTimer *>()->isActive());
        QTest::qWait(100);
        QCOMPARE(http.requests.size(), http.routes.size()); // one each, no retry
        QVERIFY(http.requests[0].startsWith("GET /api/ads?product=tactora HTTP/1.1\r\n"));
        QVERIFY(http.requests[0].toLower().contains("\r\ncontent-type: application/json\r\n"));
    }

    void click_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("opens");
        QTest::newRow("http") << "http://127.0.0.1:9/page?a=1" << true;
        QTest::newRow("https, upper-case scheme") << "HTTPS://www.tactora.example/UP" << true;
        QTest::newRow("quote in link, unchanged") << hostile << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("custom handler") << "tactora-evil://run?cmd=x" << false;
        QTest::newRow("empty: the press goes to the label") << "" << false;
    }
    // A click anywhere on the strip, the title included, with any button, opens a web link once;
    // the label's own link handling follows the same rule.
    void click()
    {
        QFETCH(QString, target);
        QFETCH(bool, opens);
        http.routes["/api/ads"] = ads({ad("一个相当长的标题", target)});
        makeBanner();
        QTRY_VERIFY(label->text() != loadingText);
        banner->resize(400, 40);
        banner->show();
        QVERIFY(QTest::qWaitForWindowExposed(banner.get()));
        int clicks = 0;
        for (int x = 2; x < 200; x += 6, ++clicks)
            QTest::mouseClick(label, x % 4 ? Qt::LeftButton : Qt::RightButton, {},
                              QPoint(x, label->height() / 2));
        QCOMPARE(openedLinks(), QList<QUrl>(opens ? clicks : 0, QUrl(target)));
        openedLinks().clear();
        emit label->linkActivated(target);
        QCOMPARE(openedLinks(), QList<QUrl>(opens ? 1 : 0, QUrl(target)));
    }

private:
    void makeBanner()
    {
        UiLanguage::instance().setEnglish(false);
        banner = std::make_unique<AdBanner>("tactora");
        label = banner->findChild<QLabel *>("adBanner");
        // Until the service answers: the loading text, no rotation, presses do nothing.
        QTest::mousePress(label, Qt::LeftButton);
        tick();
        QCOMPARE(label->text(), loadingText);
        QVERIFY(!banner->findChild<QTimer *>()->isActive() && openedLinks().isEmpty());
    }
    void tick() { QVERIFY(QMetaObject::invokeMethod(banner.get(), "rotateAd")); }

    Http http;
    std::unique_ptr<AdBanner> banner;
    QLabel *label = nullptr;
};

QTEST_MAIN(TestAdBanner)
#include "tst_adbanner.moc"
