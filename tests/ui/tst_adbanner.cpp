#include "ads/adbanner.h"
#include "i18n/uilanguage.h"
#include "site/siteurl.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

namespace {

constexpr qint64 MiB = 1024 * 1024;
const char *const schemes[] = {"http", "https", "file", "javascript", "smb", "tactora-evil"};
const QString link = QStringLiteral("https://www.tactora.example/p");
const QString loadingText = QStringLiteral("<span style='color:#64748B;'>▶ 广告加载中...</span>");
// A backslash before a quote would escape it for the label's parser.
const QString hostile = "http://127.0.0.1/x\\' onclick='y'><b>in</b><a href='z&q=\"2\"";
const QString attribute =
    "http://127.0.0.1/x%5C%27 onclick=%27y%27%3E%3Cb%3Ein%3C/b%3E%3Ca href=%27z&q=%222%22";

struct Reply
{
    QByteArray body;
    int status = 200;
    bool endless = false; // no length, a body that never ends
};
using Html = QStringList;

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
            connect(s, &QTcpSocket::readyRead, s, [this, s] { onRead(s); });
        });
    }
    void onRead(QTcpSocket *s)
    {
        s->setProperty("head", s->property("head").toByteArray() + s->readAll());
        const QByteArray head = s->property("head").toByteArray();
        if (!head.endsWith("\r\n\r\n"))
            return;
        requests << head;
        const Reply r = routes.value(head.split(' ').value(1).split('?')[0], {"", 404});
        const QByteArray length = "Content-Length: " + QByteArray::number(r.body.size()) + "\r\n";
        s->write("HTTP/1.1 " + QByteArray::number(r.status) + " X\r\nConnection: close\r\n" +
                 (r.endless ? "" : length) + "\r\n" + r.body);
        if (!r.endless)
            s->disconnectFromHost();
        else // every chunk sent asks for the next
            connect(s, &QTcpSocket::bytesWritten, s, [s] { s->write(QByteArray(64 * 1024, ' ')); });
    }
};

// An announcement; with a picture address, even an empty one, a picture announcement.
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

// One colour, one bit per pixel: cheap whatever its size.
QByteArray png(int w, int h, qint64 padTo = 0)
{
    QImage image(w, h, QImage::Format_Mono);
    image.setColorTable({qRgb(0x33, 0x66, 0xCC), qRgb(0x33, 0x66, 0xCC)});
    image.fill(0);
    QBuffer buffer;
    image.save(&buffer, "PNG");
    return buffer.data() + QByteArray(qMax<qint64>(0, padTo - buffer.size()), '\0');
}

QString textHtml(const QString &colour, const QString &badge, const QString &href,
                 const QString &title, const QString &description = {})
{
    return "<span style='background:" + colour +
           ";color:#fff;padding:0 6px;border-radius:2px;font-size:10px;margin-right:6px;'>" +
           badge + "</span><a href='" + href +
           "' style='color:#60A5FA;text-decoration:none;font-size:12px;'>" + title + "</a>" +
           (description.isEmpty()
                ? ""
                : " <span style='color:#94A3B8;font-size:11px;'>— " + description + "</span>");
}
QString product(const QString &title, const QString &href = link, const QString &description = {})
{
    return textHtml("#10B981", "品", href, title, description);
}
QStringList builtIn()
{
    const QString root = siteBaseUrl();
    return {textHtml("#64748B", "AD", root, "🚀 Brevantis Pro — 专业调试工具套件"),
            textHtml("#64748B", "AD", root + "/docs/quorbell", "📖 在线文档 — 查看完整使用指南"),
            textHtml("#64748B", "AD", root, "⭐ 更多工具 — 探索 Quorbell 全系产品")};
}

// The embedded picture when the text is exactly a picture announcement linking to href.
QImage embeddedPicture(const QString &html, const QString &href = link)
{
    const QString data = html.section("base64,", 1).section('\'', 0, 0);
    return html == "<a href='" + href +
                       "' style='text-decoration:none;'><img src='data:image/png;base64," + data +
                       "' style='max-width:100%;vertical-align:middle;border-radius:3px;'/></a>"
               ? QImage::fromData(QByteArray::fromBase64(data.toLatin1()), "PNG")
               : QImage();
}

} // namespace

class TestAdBanner : public QObject
{
    Q_OBJECT

public slots:
    void openUrl(const QUrl &url) { opened << url; }

private slots:
    void cleanupTestCase()
    {
        for (const char *scheme : schemes)
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }
    void init()
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        for (const char *scheme : schemes)
            QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "openUrl");
        banner.reset();
        http = std::make_unique<Http>();
        setSiteBaseUrl("http://127.0.0.1:" + QString::number(http->serverPort()));
        opened.clear();
        finished = 0;
    }

    void list_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<Html>("shown"); // in rotation order; empty: the built-in three
        const QJsonArray one = {ad("甲", link)};
        const QJsonObject status0{{"status", 0}}, status2{{"status", 2}};
        QTest::newRow("product, description")
            << ads({ad("新", link, "product", "<i>&</i>")})
            << Html{product("新", link, "&lt;i&gt;&amp;&lt;/i&gt;")};
        QTest::newRow("empty link is #") << ads({ad("无", "")}) << Html{product("无", "#")};
        QTest::newRow("% in title, one pass")
            << ads({ad("50% %1 %3 %4", link)}) << Html{product("50% %1 %3 %4")};
        QTest::newRow("image ad without address is text")
            << ads({ad("图", link, "line", "说明", "")})
            << Html{textHtml("#8B5CF6", "线", link, "图", "说明")};
        QTest::newRow("status filtering")
            << ads({status2, ad("甲", link), status0, QJsonObject{{"status", "1"}}, QJsonObject{},
                    ad("乙", link)})
            << Html{product("甲"), product("乙")};
        QTest::newRow("rotation, three items, each badge")
            << ads({ad("一", link), ad("二", link, "line"), ad("三", link, "Product")})
            << Html{product("一"), textHtml("#8B5CF6", "线", link, "二"),
                    textHtml("#64748B", "AD", link, "三")};
        QJsonArray sixty;
        Html firstFifty;
        for (int i = 0; i < 60; ++i) {
            sixty.append(ad(QString::number(i), link));
            if (i < 50)
                firstFifty << product(QString::number(i));
        }
        QTest::newRow("at most 50 in rotation") << ads(sixty) << firstFifty;
        QTest::newRow("rotation, one item; list of exactly 1 MiB")
            << ads(one, true, MiB) << Html{product("甲")};

        QTest::newRow("HTTP 500") << Reply{ads(one).body, 500} << Html{};
        QTest::newRow("not an object") << Reply{"[" + ads(one).body + "]"} << Html{};
        QTest::newRow("success missing") << Reply{"{\"ads\":[{\"status\":1}]}"} << Html{};
        QTest::newRow("success false") << ads(one, false) << Html{};
        QTest::newRow("success a number") << ads(one, 1) << Html{};
        QTest::newRow("ads empty") << ads({}) << Html{};
        QTest::newRow("only status 0 and 2") << ads({status0, status2}) << Html{};
        // Hostile: each would be a valid list if it were read whole.
        QTest::newRow("list over 1 MiB") << ads(one, true, MiB + 1) << Html{};
        QTest::newRow("endless list") << Reply{ads(one).body, 200, true} << Html{};
    }
    void list()
    {
        QFETCH(Reply, reply);
        QFETCH(Html, shown);
        http->routes["/api/ads"] = reply;
        makeBanner();
        QTRY_VERIFY_WITH_TIMEOUT(label->text() != loadingText, 15000);
        shown = shown.isEmpty() ? builtIn() : shown;
        for (int i = 0; i <= shown.size(); ++i) {
            QCOMPARE(label->text(), shown[i % shown.size()]);
            label->clear(); // each tick draws again, even the same item
            tick();
        }
        QVERIFY(timer->isActive() && timer->interval() == 5000);
        QTest::qWait(100);
        QCOMPARE(http->requests.size(), 1); // once, no retry
        QVERIFY(http->requests[0].startsWith("GET /api/ads?product=tactora HTTP/1.1\r\n"));
        QVERIFY(http->requests[0].toLower().contains("\r\ncontent-type: application/json\r\n"));
    }

    void pictures_data()
    {
        QTest::addColumn<Reply>("reply");
        QTest::addColumn<QSize>("embedded"); // 0x0: refused, the loading text stays
        QTest::newRow("720x90") << Reply{png(720, 90)} << QSize(288, 36);
        QTest::newRow("2000x40") << Reply{png(2000, 40)} << QSize(500, 10);
        QTest::newRow("100x20 kept") << Reply{png(100, 20)} << QSize(100, 20);
        QTest::newRow("1x1000 never empty") << Reply{png(1, 1000)} << QSize(1, 36);
        QTest::newRow("8 MiB accepted") << Reply{png(100, 20, 8 * MiB)} << QSize(100, 20);
        QTest::newRow("HTTP 404") << Reply{png(100, 20), 404} << QSize(0, 0);
        QTest::newRow("not a picture") << Reply{"hello"} << QSize(0, 0);
        // Hostile: each decodes fine if nobody checks.
        QTest::newRow("over 8 MiB") << Reply{png(100, 20, 8 * MiB + 1)} << QSize(0, 0);
        QTest::newRow("endless picture") << Reply{png(100, 20), 200, true} << QSize(0, 0);
        QTest::newRow("4097 wide") << Reply{png(4097, 16)} << QSize(0, 0);
        QTest::newRow("4097 tall") << Reply{png(16, 4097)} << QSize(0, 0);
        QTest::newRow("2049x2048 pixels") << Reply{png(2049, 2048)} << QSize(0, 0);
    }
    // The picture arrives while the text item before it is shown; the cache serves each rotation.
    void pictures()
    {
        QFETCH(Reply, reply);
        QFETCH(QSize, embedded);
        http->routes["/pic.png"] = reply;
        serve({ad("文字", link), ad("图", link, "line", {}, siteBaseUrl() + "/pic.png")});
        makeBanner();
        QTRY_COMPARE_WITH_TIMEOUT(finished, 2, 15000);
        const QString loading =
            textHtml("#8B5CF6", "线", link, "图") +
            " <span style='color:#64748B;font-size:11px;'>— 图片加载中...</span>";
        for (int round = 0; round < 2; ++round, tick()) {
            QCOMPARE(label->text(), product("文字"));
            tick();
            const QImage image = embeddedPicture(label->text());
            QCOMPARE(image.size(), embedded);
            QVERIFY(image.isNull() ? label->text() == loading
                                   : image.pixelColor(image.width() / 2, 0) == QColor("#3366CC"));
        }
        QCOMPARE(http->requests.size(), 2); // no new request on rotation
    }

    void hostileLinkStaysInItsAttribute()
    {
        http->routes["/pic.png"] = {png(100, 20)};
        serve({ad("图", hostile, "line", {}, siteBaseUrl() + "/pic.png"),
               ad("<b>粗</b>", hostile, "product", "说明")});
        makeBanner();
        QTRY_COMPARE(finished, 2); // the shown picture item is redrawn at once
        QCOMPARE(embeddedPicture(label->text(), attribute).size(), QSize(100, 20));
        tick();
        QCOMPARE(label->text(), product("&lt;b&gt;粗&lt;/b&gt;", attribute, "说明"));
        QTextDocument shown; // as the label's rich text reads it
        shown.setHtml(label->text());
        QCOMPARE(shown.toPlainText(), "品<b>粗</b> — 说明"); // nothing injected, the title literal
        const QString href = shown.find("粗").charFormat().anchorHref();
        QCOMPARE(QUrl::fromPercentEncoding(href.toUtf8()), hostile); // same target
    }

    void click_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<bool>("opens");
        QTest::newRow("http") << "http://127.0.0.1:9/page?a=1" << true;
        QTest::newRow("https, upper-case scheme") << "HTTPS://www.tactora.example/UP" << true;
        QTest::newRow("quote in link, unchanged") << hostile << true;
        QTest::newRow("file") << "file:///etc/passwd" << false;
        QTest::newRow("javascript") << "javascript:alert(1)" << false;
        QTest::newRow("custom handler") << "tactora-evil://run?cmd=x" << false;
        QTest::newRow("empty: the press goes to the label") << "" << false;
    }
    void click()
    {
        QFETCH(QString, target);
        QFETCH(bool, opens);
        serve({ad("点我", target)});
        makeBanner();
        QTRY_VERIFY(label->text() != loadingText);
        const QList<QUrl> expected = opens ? QList<QUrl>{QUrl(target)} : QList<QUrl>{};
        QTest::mousePress(label, Qt::RightButton, {}, QPoint(5, 5)); // any button
        QCOMPARE(opened, expected);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QCOMPARE(static_cast<QObject *>(banner.get())->eventFilter(label, &press),
                 !target.isEmpty());
        opened.clear(); // the label's own link handling follows the same rule
        emit label->linkActivated(target);
        QCOMPARE(opened, expected);
    }

    // A real click anywhere on the strip, the title included, opens the link once.
    void aClickOpensOnce()
    {
        serve({ad("一个相当长的标题", link)});
        makeBanner();
        QTRY_VERIFY(label->text() != loadingText);
        banner->resize(400, 40);
        banner->show();
        QVERIFY(QTest::qWaitForWindowExposed(banner.get()));
        int clicks = 0;
        for (int x = 2; x < 200; x += 6, ++clicks)
            QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(x, label->height() / 2));
        QCOMPARE(opened.size(), clicks);
    }

    // A picture address on this machine is never read, however good the picture.
    void localPictureNotFetched()
    {
        QTemporaryDir dir;
        QFile picture(dir.filePath("ad.png"));
        QVERIFY(picture.open(QIODevice::WriteOnly) && picture.write(png(100, 20)) > 0);
        picture.close();
        serve({ad("图", link, "line", {}, QUrl::fromLocalFile(picture.fileName()).toString())});
        makeBanner();
        QTRY_VERIFY(label->text() != loadingText);
        QTest::qWait(300);
        QVERIFY(label->text().contains("图片加载中"));
        QCOMPARE(finished, 1);
    }

    void languageSwitchKeepsTheShownAnnouncement()
    {
        serve({ad("一", link), ad("二", link)});
        makeBanner();
        QTRY_COMPARE(label->text(), product("一"));
        for (bool english : {true, false}) { // the window retranslates after each switch
            tick();
            UiLanguage::instance().setEnglish(english);
            UiLanguage::instance().retranslateWidgetTree(banner.get());
        }
        QCOMPARE(label->text(), product("一"));
    }

private:
    void makeBanner()
    {
        banner = std::make_unique<AdBanner>(QStringLiteral("tactora"));
        label = banner->findChild<QLabel *>(QStringLiteral("adBanner"));
        timer = banner->findChild<QTimer *>();
        QVERIFY(label && timer);
        connect(banner->findChild<QNetworkAccessManager *>(), &QNetworkAccessManager::finished,
                this, [this] { ++finished; });
        // Until the service answers: the loading text, no rotation, presses do nothing.
        QTest::mousePress(label, Qt::LeftButton);
        tick();
        QCOMPARE(label->text(), loadingText);
        QVERIFY(!timer->isActive() && opened.isEmpty());
    }
    void serve(const QJsonArray &list) { http->routes["/api/ads"] = ads(list); }
    void tick() { QVERIFY(QMetaObject::invokeMethod(banner.get(), "rotateAd")); }

    std::unique_ptr<Http> http;
    std::unique_ptr<AdBanner> banner;
    QLabel *label = nullptr;
    QTimer *timer = nullptr;
    int finished = 0;
    QList<QUrl> opened;
};

QTEST_MAIN(TestAdBanner)
#include "tst_adbanner.moc"
