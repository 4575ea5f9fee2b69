#include "ads/adbanner.h"
#include "i18n/uilanguage.h"
#include "site/siteurl.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

namespace {

constexpr qint64 MiB = 1024 * 1024;
const char *const schemes[] = {"http", "https", "file", "javascript", "smb", "tactora-evil"};
const QString link = "https://www.tactora.example/p";
const QString loadingText = "<span style='color:#64748B;'>▶ 广告加载中...</span>";
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
QString picture(int w, int h, const QString &href = link)
{
    return QString("picture %1x%2 #3366cc %3").arg(w).arg(h).arg(href);
}

// A picture announcement as picture() writes it, its picture decoded; any other text unchanged.
QString seen(const QString &html)
{
    static const QRegularExpression tag(
        "^<a href='([^']*)' style='text-decoration:none;'><img src='data:image/png;base64,([^']*)' "
        "style='max-width:100%;vertical-align:middle;border-radius:3px;'/></a>$");
    const QRegularExpressionMatch match = tag.match(html);
    const QImage image = QImage::fromData(QByteArray::fromBase64(match.captured(2).toLatin1()));
    return image.isNull() ? html
                          : picture(image.width(), image.height(), match.captured(1))
                                .replace("#3366cc", image.pixelColor(image.width() / 2, 0).name());
}

} // namespace

class TestAdBanner : public QObject
{
    Q_OBJECT

public slots:
    void openUrl(const QUrl &url) { opened << url; }

private slots:
    void initTestCase()
    {
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        for (const char *scheme : schemes)
            QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "openUrl");
        setSiteBaseUrl("http://127.0.0.1:" + QString::number(http.serverPort()));
    }
    void cleanupTestCase()
    {
        for (const char *scheme : schemes)
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }
    void init()
    {
        banner.reset();
        http.routes.clear();
        http.requests.clear();
        opened.clear();
    }

    // Rows: the list's reply, the picture's reply if any, and what the strip shows in rotation
    // order, picture announcements as picture() writes them; nothing: the built-in three.
    void rotation_data()
    {
        QTest::addColumn<Reply>("list");
        QTest::addColumn<Reply>("pictureReply");
        QTest::addColumn<Html>("shown");
        auto row = [](const char *name, const Reply &list, const Html &shown, Reply pic = {}) {
            QTest::newRow(name) << list << pic << shown;
        };
        const QJsonArray one = {ad("甲", link)};
        const QJsonObject status0{{"status", 0}}, status2{{"status", 2}};
        row("product, description", ads({ad("新", link, "product", "<i>&</i>")}),
            {product("新", link, "&lt;i&gt;&amp;&lt;/i&gt;")});
        row("empty link is #", ads({ad("无", "")}), {product("无", "#")});
        row("% in title, one pass", ads({ad("50% %1 %3 %4", link)}), {product("50% %1 %3 %4")});
        row("hostile link and title", ads({ad("<b>粗</b>", hostile, "product", "说明")}),
            {product("&lt;b&gt;粗&lt;/b&gt;", attribute, "说明")});
        row("image ad without address is text", ads({ad("图", link, "line", "说明", "")}),
            {textHtml("#8B5CF6", "线", link, "图", "说明")});
        row("status filtering",
            ads({status2, ad("甲", link), status0, QJsonObject{{"status", "1"}}, QJsonObject{},
                 ad("乙", link)}),
            {product("甲"), product("乙")});
        row("three items, each badge",
            ads({ad("一", link), ad("二", link, "line"), ad("三", link, "Product")}),
            {product("一"), textHtml("#8B5CF6", "线", link, "二"),
             textHtml("#64748B", "AD", link, "三")});
        QJsonArray sixty;
        Html firstFifty;
        for (int i = 0; i < 60; ++i) {
            sixty.append(ad(QString::number(i), link));
            if (i < 50)
                firstFifty << product(QString::number(i));
        }
        row("at most 50 in rotation", ads(sixty), firstFifty);
        row("one item; list of exactly 1 MiB", ads(one, true, MiB), {product("甲")});

        row("HTTP 500", {ads(one).body, 500}, {});
        row("not an object", {"[" + ads(one).body + "]"}, {});
        row("success missing", {"{\"ads\":[{\"status\":1}]}"}, {});
        row("success false", ads(one, false), {});
        row("success a number", ads(one, 1), {});
        row("ads empty", ads({}), {});
        row("only status 0 and 2", ads({status0, status2}), {});
        // Hostile: each would be a valid list if it were read whole.
        row("list over 1 MiB", ads(one, true, MiB + 1), {});
        row("endless list", {ads(one).body, 200, true}, {});

        // The picture arrives while the text item before it is shown.
        const Reply pair =
            ads({ad("文字", link), ad("图", link, "line", {}, siteBaseUrl() + "/p")});
        const QString loading =
            textHtml("#8B5CF6", "线", link, "图") +
            " <span style='color:#64748B;font-size:11px;'>— 图片加载中...</span>";
        auto pictureRow = [&](const char *name, const Reply &pic, const QString &shown) {
            row(name, pair, {product("文字"), shown}, pic);
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
        // The shown picture item is redrawn at once.
        row("hostile link, picture", ads({ad("图", hostile, "line", {}, siteBaseUrl() + "/p")}),
            {picture(100, 20, attribute)}, {png(100, 20)});
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
        QFETCH(Html, shown);
        http.routes["/api/ads"] = list;
        if (!pictureReply.body.isEmpty())
            http.routes["/p"] = pictureReply;
        makeBanner();
        QTRY_VERIFY_WITH_TIMEOUT(label->text() != loadingText &&
                                     banner->findChildren<QNetworkReply *>().isEmpty(),
                                 15000);
        if (shown.isEmpty()) {
            const QString root = siteBaseUrl();
            shown = {
                textHtml("#64748B", "AD", root, "🚀 Brevantis Pro — 专业调试工具套件"),
                textHtml("#64748B", "AD", root + "/docs/quorbell", "📖 在线文档 — 查看完整使用指南"),
                textHtml("#64748B", "AD", root, "⭐ 更多工具 — 探索 Quorbell 全系产品")};
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

    // The expected hostile link reads back as the label's rich text reads it: nothing injected.
    void hostileLinkStaysInItsAttribute()
    {
        QTextDocument shown;
        shown.setHtml(product("&lt;b&gt;粗&lt;/b&gt;", attribute, "说明"));
        QCOMPARE(shown.toPlainText(), "品<b>粗</b> — 说明");
        const QString href = shown.find("粗").charFormat().anchorHref();
        QCOMPARE(QUrl::fromPercentEncoding(href.toUtf8()), hostile);
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
        QCOMPARE(opened, QList<QUrl>(opens ? clicks : 0, QUrl(target)));
        opened.clear();
        emit label->linkActivated(target);
        QCOMPARE(opened, QList<QUrl>(opens ? 1 : 0, QUrl(target)));
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
        QVERIFY(!banner->findChild<QTimer *>()->isActive() && opened.isEmpty());
    }
    void tick() { QVERIFY(QMetaObject::invokeMethod(banner.get(), "rotateAd")); }

    Http http;
    std::unique_ptr<AdBanner> banner;
    QLabel *label = nullptr;
    QList<QUrl> opened;
};

QTEST_MAIN(TestAdBanner)
#include "tst_adbanner.moc"
