#include "ads/adbanner.h"
#include "app/siteurl.h"
#include "i18n/uilanguage.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMouseEvent>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QPointer>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>

#include <memory>

namespace {

constexpr qint64 MiB = 1024 * 1024;

const QString loadingText = QStringLiteral("<span style='color:#64748B;'>▶ 广告加载中...</span>");

struct Route
{
    enum Mode
    {
        Normal,
        Hold,       // answer only when released
        Endless,    // no length, body never ends
        HugeLength, // declares 1 GiB, sends a little, then waits
    };
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    Mode mode = Normal;
};

struct SeenRequest
{
    QByteArray method;
    QByteArray target;
    QList<QPair<QByteArray, QByteArray>> headers;

    QByteArray path() const
    {
        return target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?'));
    }
    QByteArray header(const QByteArray &name) const
    {
        for (const auto &h : headers) {
            if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                return h.second;
        }
        return {};
    }
};

} // namespace

// A minimal HTTP/1.1 server on 127.0.0.1: one request per connection, then close.
class HttpServer : public QObject
{
    Q_OBJECT

public:
    HttpServer()
    {
        connect(&server, &QTcpServer::newConnection, this, &HttpServer::onNewConnection);
    }

    bool start() { return server.listen(QHostAddress::LocalHost, 0); }
    QString base() const { return QStringLiteral("http://127.0.0.1:%1").arg(server.serverPort()); }
    void setRoute(const QByteArray &path, const Route &route) { routes.insert(path, route); }

    int hits(const QByteArray &path) const
    {
        int count = 0;
        for (const SeenRequest &request : requests)
            count += request.path() == path ? 1 : 0;
        return count;
    }

    void release(const QByteArray &path)
    {
        Route route = routes.value(path);
        route.mode = Route::Normal;
        for (auto &entry : held) {
            if (entry.first && entry.second == path)
                respond(entry.first, route);
        }
    }

    QList<SeenRequest> requests;
    qint64 streamedBytes = 0;
    int streamsClosed = 0;

private slots:
    void onNewConnection()
    {
        while (QTcpSocket *socket = server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onData(socket); });
        }
    }

private:
    void onData(QTcpSocket *socket)
    {
        QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
        socket->setProperty("buffer", buffer);
        const int end = buffer.indexOf("\r\n\r\n");
        if (end < 0 || socket->property("answered").toBool())
            return;
        socket->setProperty("answered", true);

        const QList<QByteArray> lines = buffer.left(end).split('\n');
        SeenRequest request;
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.append(
                    {lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
        }
        requests.append(request);

        const auto it = routes.constFind(request.path());
        if (it == routes.constEnd()) {
            Route missing;
            missing.status = 404;
            missing.contentType = "text/plain";
            missing.body = "not found";
            respond(socket, missing);
            return;
        }
        switch (it->mode) {
        case Route::Normal:
            respond(socket, *it);
            break;
        case Route::Hold:
            held.append({QPointer<QTcpSocket>(socket), request.path()});
            break;
        case Route::Endless:
            stream(socket, *it);
            break;
        case Route::HugeLength:
            connect(socket, &QTcpSocket::disconnected, this, [this] { ++streamsClosed; });
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + it->contentType +
                          "\r\nContent-Length: 1073741824\r\n\r\n" + QByteArray(4096, ' '));
            break;
        }
    }

    void respond(QTcpSocket *socket, const Route &route)
    {
        socket->write("HTTP/1.1 " + QByteArray::number(route.status) +
                      (route.status == 200 ? " OK" : " Error") +
                      "\r\nContent-Type: " + route.contentType + "\r\nContent-Length: " +
                      QByteArray::number(route.body.size()) + "\r\nConnection: close\r\n\r\n");
        socket->write(route.body);
        socket->disconnectFromHost();
    }

    void stream(QTcpSocket *socket, const Route &route)
    {
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + route.contentType +
                      "\r\nConnection: close\r\n\r\n" + route.body);
        auto *pump = new QTimer(socket);
        connect(pump, &QTimer::timeout, socket, [this, socket] {
            const QByteArray chunk(256 * 1024, 'x');
            // Keep our own buffer small; the point is an endless body, not an endless server.
            while (socket->state() == QAbstractSocket::ConnectedState &&
                   socket->bytesToWrite() < MiB)
                streamedBytes += socket->write(chunk);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, pump] {
            pump->stop();
            ++streamsClosed;
        });
        pump->start(1);
    }

    QTcpServer server;
    QHash<QByteArray, Route> routes;
    QList<QPair<QPointer<QTcpSocket>, QByteArray>> held;
};

// Receives what would have gone to the desktop's browser.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void openUrl(const QUrl &url) { opened.append(url); }
};

namespace {

const char *const caughtSchemes[] = {"http", "https", "file", "javascript", "smb", "tactora-evil"};

QJsonObject textAd(const QString &title, const QString &link, const QString &target = "product",
                   const QString &description = {})
{
    return {
        {"id", 7},        {"status", 1},     {"target_type", target}, {"ad_type", "text"},
        {"title", title}, {"image_url", ""}, {"link_url", link},      {"description", description}};
}

QJsonObject imageAd(const QString &imageUrl, const QString &link, const QString &title = "图")
{
    return {
        {"id", 8},        {"status", 1},           {"target_type", "line"}, {"ad_type", "image"},
        {"title", title}, {"image_url", imageUrl}, {"link_url", link},      {"description", ""}};
}

QByteArray adsReply(const QJsonArray &ads)
{
    return QJsonDocument(QJsonObject{{"success", true}, {"ads", ads}})
        .toJson(QJsonDocument::Compact);
}

Route json(const QByteArray &body)
{
    Route route;
    route.body = body;
    return route;
}

QByteArray encodePng(const QImage &image)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return out;
}

QByteArray colourPng(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(QColor(QStringLiteral("#3366CC")));
    return encodePng(image);
}

// Cheap to build and to send, whatever its declared size.
QByteArray monoPng(int w, int h)
{
    QImage image(w, h, QImage::Format_Mono);
    image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    image.fill(0);
    return encodePng(image);
}

Route picture(const QByteArray &body)
{
    Route route;
    route.contentType = "image/png";
    route.body = body;
    return route;
}

QString textHtml(const QString &colour, const QString &badge, const QString &href,
                 const QString &title)
{
    return QStringLiteral("<span style='background:") + colour +
           QStringLiteral(";color:#fff;padding:0 6px;border-radius:2px;font-size:10px;margin-"
                          "right:6px;'>") +
           badge + QStringLiteral("</span><a href='") + href +
           QStringLiteral("' style='color:#60A5FA;text-decoration:none;font-size:12px;'>") + title +
           QStringLiteral("</a>");
}

QString loadingPictureHtml(const QString &href, const QString &title)
{
    return textHtml(QStringLiteral("#8B5CF6"), QStringLiteral("线"), href, title) +
           QStringLiteral(" <span style='color:#64748B;font-size:11px;'>— 图片加载中...</span>");
}

QString builtInHtml(int index)
{
    const QString root = siteBaseUrl();
    const QString titles[] = {QStringLiteral("🚀 Brevantis Pro — 专业调试工具套件"),
                              QStringLiteral("📖 在线文档 — 查看完整使用指南"),
                              QStringLiteral("⭐ 更多工具 — 探索 Quorbell 全系产品")};
    const QString links[] = {root, root + QStringLiteral("/docs/quorbell"), root};
    return textHtml(QStringLiteral("#64748B"), QStringLiteral("AD"), links[index], titles[index]);
}

// The embedded picture of a picture announcement, or a null image when the text is not one.
QImage embeddedPicture(const QString &html, QString *href = nullptr)
{
    static const QRegularExpression shape(QStringLiteral(
        "^<a href='([^']*)' style='text-decoration:none;'><img src='data:image/png;base64,"
        "([A-Za-z0-9+/=]+)' style='max-width:100%;vertical-align:middle;border-radius:3px;'/>"
        "</a>$"));
    const QRegularExpressionMatch match = shape.match(html);
    if (!match.hasMatch())
        return {};
    if (href)
        *href = match.captured(1);
    return QImage::fromData(QByteArray::fromBase64(match.captured(2).toLatin1()), "PNG");
}

struct Anchor
{
    QString href;
    QString text;
};

QList<Anchor> anchorsOf(const QString &html, QString *plain = nullptr)
{
    QTextDocument document;
    document.setHtml(html);
    if (plain)
        *plain = document.toPlainText();
    QList<Anchor> anchors;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().isAnchor())
                anchors.append({fragment.charFormat().anchorHref(), fragment.text()});
        }
    }
    return anchors;
}

} // namespace

class TestAdBanner : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void requestContract();
    void loadingUntilTheServiceAnswers();
    void textAds_data();
    void textAds();
    void boldTitleShownLiterally();
    void statusFiltering();
    void rotation_data();
    void rotation();
    void listFallbacks_data();
    void listFallbacks();
    void listAtTheCapIsAccepted();

    void pictureSizes_data();
    void pictureSizes();
    void pictureReplacesLoadingTextAtOnce();
    void pictureArrivingWhileAnotherItemIsShown();
    void refusedPictures_data();
    void refusedPictures();
    void pictureAddressMustBeWeb();

    void click_data();
    void click();
    void labelLinkActivation_data();
    void labelLinkActivation();
    void linkIsEscapedForTheAttribute_data();
    void linkIsEscapedForTheAttribute();
    void languageSwitchKeepsTheCurrentAnnouncement();

private:
    void makeBanner();
    bool waitShown() const
    {
        return QTest::qWaitFor([this] { return label->text() != loadingText; }, 15000);
    }
    bool waitFinished(int count) const
    {
        return QTest::qWaitFor([this, count] { return finishedReplies >= count; }, 30000);
    }
    void tick() { QVERIFY(QMetaObject::invokeMethod(banner.get(), "rotateAd")); }
    void serveAds(const QJsonArray &ads) { http->setRoute("/api/ads", json(adsReply(ads))); }

    std::unique_ptr<HttpServer> http;
    std::unique_ptr<AdBanner> banner;
    QLabel *label = nullptr;
    QTimer *timer = nullptr;
    int finishedReplies = 0;
    UrlCatcher catcher;
};

void TestAdBanner::initTestCase()
{
    // Loopback only, whatever the environment says.
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
    for (const char *scheme : caughtSchemes)
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &catcher, "openUrl");
}

void TestAdBanner::cleanupTestCase()
{
    for (const char *scheme : caughtSchemes)
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
}

void TestAdBanner::init()
{
    http = std::make_unique<HttpServer>();
    QVERIFY(http->start());
    setSiteBaseUrl(http->base());
    catcher.opened.clear();
    finishedReplies = 0;
}

void TestAdBanner::cleanup()
{
    banner.reset();
    label = nullptr;
    timer = nullptr;
    http.reset();
}

void TestAdBanner::makeBanner()
{
    banner = std::make_unique<AdBanner>(QStringLiteral("tactora"));
    label = banner->findChild<QLabel *>(QStringLiteral("adBanner"));
    timer = banner->findChild<QTimer *>();
    auto *network = banner->findChild<QNetworkAccessManager *>();
    QVERIFY(label && timer && network);
    connect(network, &QNetworkAccessManager::finished, this, [this] { ++finishedReplies; });
}

void TestAdBanner::requestContract()
{
    serveAds({textAd(QStringLiteral("新版本"), QStringLiteral("https://www.tactora.example/n"))});
    makeBanner();
    QCOMPARE(label->text(), loadingText);
    QCOMPARE(label->textFormat(), Qt::RichText);
    QCOMPARE(label->minimumWidth(), 300);
    QCOMPARE(label->maximumHeight(), 40);
    QCOMPARE(label->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(!label->openExternalLinks());
    QVERIFY(!timer->isActive());

    QVERIFY(waitShown());
    QCOMPARE(http->requests.size(), 1);
    const SeenRequest &request = http->requests.first();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.target, QByteArray("/api/ads?product=tactora"));
    QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(request.header("Content-Length"), QByteArray());
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 5000);

    QTest::qWait(300);
    QCOMPARE(http->requests.size(), 1);
}

void TestAdBanner::loadingUntilTheServiceAnswers()
{
    Route silent;
    silent.mode = Route::Hold;
    http->setRoute("/api/ads", silent);
    makeBanner();
    QTRY_COMPARE(http->requests.size(), 1);
    QTest::qWait(200);
    QCOMPARE(label->text(), loadingText);
    QVERIFY(!timer->isActive());
    QTest::mousePress(label, Qt::LeftButton);
    QVERIFY(catcher.opened.isEmpty());
    tick();
    QCOMPARE(label->text(), loadingText);
}

void TestAdBanner::textAds_data()
{
    QTest::addColumn<QJsonObject>("ad");
    QTest::addColumn<QString>("html");
    const QString link = QStringLiteral("https://www.tactora.example/p");

    QTest::newRow("product badge, description")
        << textAd("新版本", link, "product", "现已发布")
        << QStringLiteral(
               "<span style='background:#10B981;color:#fff;padding:0 6px;border-radius:2px;"
               "font-size:10px;margin-right:6px;'>品</span><a "
               "href='https://www.tactora.example/p' "
               "style='color:#60A5FA;text-decoration:none;font-size:12px;'>新版本</a> <span "
               "style='color:#94A3B8;font-size:11px;'>— 现已发布</span>");
    QTest::newRow("line badge") << textAd("系列", link, "line")
                                << textHtml("#8B5CF6", "线", link, "系列");
    QTest::newRow("other badge") << textAd("全局", link, "global")
                                 << textHtml("#64748B", "AD", link, "全局");
    QTest::newRow("badge compared exactly")
        << textAd("大写", link, "Product") << textHtml("#64748B", "AD", link, "大写");
    QTest::newRow("empty link") << textAd("无链接", "") << textHtml("#10B981", "品", "#", "无链接");
    QTest::newRow("markup in title")
        << textAd("<b>粗</b> & co", link)
        << textHtml("#10B981", "品", link, "&lt;b&gt;粗&lt;/b&gt; &amp; co");
    QTest::newRow("percent sequences in title")
        << textAd("50% %1 %3 %4", link) << textHtml("#10B981", "品", link, "50% %1 %3 %4");
    QTest::newRow("markup in description")
        << textAd("标题", link, "product", "<i>x</i>")
        << textHtml("#10B981", "品", link, "标题") +
               " <span style='color:#94A3B8;font-size:11px;'>— &lt;i&gt;x&lt;/i&gt;</span>";

    QJsonObject noPicture = imageAd("", link, "没有图片");
    noPicture["description"] = "说明";
    QTest::newRow("image ad without address is text")
        << noPicture
        << textHtml("#8B5CF6", "线", link, "没有图片") +
               " <span style='color:#94A3B8;font-size:11px;'>— 说明</span>";

    QJsonObject wrongTypes{{"status", 1}, {"title", 5}, {"link_url", true}, {"target_type", 3}};
    QTest::newRow("values of another type read as empty")
        << wrongTypes << textHtml("#64748B", "AD", "#", "");
}

void TestAdBanner::textAds()
{
    QFETCH(QJsonObject, ad);
    QFETCH(QString, html);
    serveAds({ad});
    makeBanner();
    QVERIFY(waitShown());
    QCOMPARE(label->text(), html);
    QCOMPARE(http->requests.size(), 1); // text ads fetch nothing
}

void TestAdBanner::boldTitleShownLiterally()
{
    serveAds(
        {textAd(QStringLiteral("<b>Bold</b>"), QStringLiteral("https://www.tactora.example"))});
    makeBanner();
    QVERIFY(waitShown());
    QTextDocument document;
    document.setHtml(label->text());
    QCOMPARE(document.toPlainText(), QStringLiteral("品<b>Bold</b>"));
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it)
            QVERIFY(it.fragment().charFormat().fontWeight() < QFont::Bold);
    }
}

void TestAdBanner::statusFiltering()
{
    const QString link = QStringLiteral("https://www.tactora.example");
    QJsonObject hidden = textAd("二", link);
    hidden["status"] = 2;
    QJsonObject off = textAd("零", link);
    off["status"] = 0;
    QJsonObject asText = textAd("字符串", link);
    asText["status"] = "1";
    QJsonObject missing = textAd("缺少", link);
    missing.remove("status");
    serveAds({hidden, textAd("甲", link), off, asText, missing, textAd("乙", link)});
    makeBanner();
    QVERIFY(waitShown());
    QCOMPARE(label->text(), textHtml("#10B981", "品", link, "甲"));
    tick();
    QCOMPARE(label->text(), textHtml("#10B981", "品", link, "乙"));
    tick();
    QCOMPARE(label->text(), textHtml("#10B981", "品", link, "甲"));
}

void TestAdBanner::rotation_data()
{
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("one") << QStringList{"独"};
    QTest::newRow("three") << QStringList{"一", "二", "三"};
}

void TestAdBanner::rotation()
{
    QFETCH(QStringList, titles);
    const QString link = QStringLiteral("https://www.tactora.example");
    QJsonArray ads;
    for (const QString &title : titles)
        ads.append(textAd(title, link));
    serveAds(ads);
    makeBanner();
    QVERIFY(waitShown());
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 5000);
    for (int shown = 0; shown < 2 * titles.size() + 1; ++shown) {
        QCOMPARE(label->text(), textHtml("#10B981", "品", link, titles[shown % titles.size()]));
        label->setText(QString()); // proves the tick draws again, even the same item
        tick();
    }
}

void TestAdBanner::listFallbacks_data()
{
    QTest::addColumn<Route>("route");
    QTest::addColumn<bool>("refused");
    QTest::addColumn<bool>("streamed");

    QTest::newRow("connection refused") << Route() << true << false;
    Route error = json("{\"success\":true,\"ads\":[]}");
    error.status = 500;
    QTest::newRow("HTTP 500") << error << false << false;
    QTest::newRow("not JSON") << json("<html>") << false << false;
    QTest::newRow("JSON array") << json("[{\"success\":true}]") << false << false;
    const QByteArray one = "[{\"status\":1,\"title\":\"t\",\"ad_type\":\"text\"}]";
    QTest::newRow("success missing") << json("{\"ads\":" + one + "}") << false << false;
    QTest::newRow("success false")
        << json("{\"success\":false,\"ads\":" + one + "}") << false << false;
    QTest::newRow("success is a number")
        << json("{\"success\":1,\"ads\":" + one + "}") << false << false;
    QTest::newRow("success is text")
        << json("{\"success\":\"true\",\"ads\":" + one + "}") << false << false;
    QTest::newRow("ads empty") << json("{\"success\":true,\"ads\":[]}") << false << false;
    QTest::newRow("ads not an array")
        << json("{\"success\":true,\"ads\":{\"status\":1}}") << false << false;
    QTest::newRow("only status 0 and 2")
        << json("{\"success\":true,\"ads\":[{\"status\":0,\"title\":\"a\"},{\"status\":2,"
                "\"title\":\"b\"}]}")
        << false << false;

    // Hostile replies: each would be a valid list if it were read.
    QByteArray oversized = adsReply({textAd("大", "https://www.tactora.example")});
    oversized += QByteArray(AdBanner::maxListReplyBytes + 1 - oversized.size(), ' ');
    QTest::newRow("list over 1 MiB") << json(oversized) << false << false;
    Route huge = json(adsReply({textAd("大", "https://www.tactora.example")}));
    huge.mode = Route::HugeLength;
    QTest::newRow("declares 1 GiB") << huge << false << true;
    Route endless = json(
        "{\"success\":true,\"ads\":[" +
        QJsonDocument(textAd("大", "https://www.tactora.example")).toJson(QJsonDocument::Compact) +
        "]}");
    endless.mode = Route::Endless;
    QTest::newRow("never-ending list") << endless << false << true;
}

void TestAdBanner::listFallbacks()
{
    QFETCH(Route, route);
    QFETCH(bool, refused);
    QFETCH(bool, streamed);
    if (refused) {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();
        setSiteBaseUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
    } else {
        http->setRoute("/api/ads", route);
    }
    makeBanner();
    QVERIFY(waitShown());
    for (int shown = 0; shown < 4; ++shown) {
        QCOMPARE(label->text(), builtInHtml(shown % 3));
        tick();
    }
    QVERIFY(timer->isActive());
    if (streamed) {
        // The banner hung up; the body was not read to its (absent) end.
        QTRY_COMPARE_WITH_TIMEOUT(http->streamsClosed, 1, 15000);
        QVERIFY2(http->streamedBytes < 64 * MiB, qPrintable(QString::number(http->streamedBytes)));
    }
    QTest::qWait(200);
    QCOMPARE(http->requests.size(), refused ? 0 : 1); // no retry
}

void TestAdBanner::listAtTheCapIsAccepted()
{
    const QString link = QStringLiteral("https://www.tactora.example/cap");
    QByteArray body = adsReply({textAd("刚好", link)});
    body += QByteArray(AdBanner::maxListReplyBytes - body.size(), ' ');
    QCOMPARE(body.size(), qsizetype(1024 * 1024));
    http->setRoute("/api/ads", json(body));
    makeBanner();
    QVERIFY(waitShown());
    QCOMPARE(label->text(), textHtml("#10B981", "品", link, "刚好"));
}

void TestAdBanner::pictureSizes_data()
{
    QTest::addColumn<QSize>("source");
    QTest::addColumn<qint64>("padTo");
    QTest::addColumn<QSize>("embedded"); // empty: any size, as long as it is shown

    QTest::newRow("720x90") << QSize(720, 90) << qint64(0) << QSize(288, 36);
    QTest::newRow("2000x40") << QSize(2000, 40) << qint64(0) << QSize(500, 10);
    QTest::newRow("100x20 kept") << QSize(100, 20) << qint64(0) << QSize(100, 20);
    QTest::newRow("tall 36x360") << QSize(36, 360) << qint64(0) << QSize(3, 36);
    QTest::newRow("widest accepted") << QSize(AdBanner::maxImageSide, 16) << qint64(0) << QSize();
    QTest::newRow("most pixels accepted") << QSize(2048, 2048) << qint64(0) << QSize(36, 36);
    QTest::newRow("exactly 8 MiB")
        << QSize(100, 20) << AdBanner::maxImageReplyBytes << QSize(100, 20);
}

void TestAdBanner::pictureSizes()
{
    QFETCH(QSize, source);
    QFETCH(qint64, padTo);
    QFETCH(QSize, embedded);
    QByteArray body = colourPng(source.width(), source.height());
    if (padTo > 0)
        body += QByteArray(padTo - body.size(), '\0');
    http->setRoute("/pic.png", picture(body));
    const QString link = QStringLiteral("https://www.tactora.example/pic");
    serveAds({imageAd(http->base() + "/pic.png", link)});
    makeBanner();
    QVERIFY(waitFinished(2));

    QString href;
    const QImage image = embeddedPicture(label->text(), &href);
    QVERIFY2(!image.isNull(), qPrintable(label->text().left(300)));
    QCOMPARE(href, link);
    if (!embedded.isEmpty())
        QCOMPARE(image.size(), embedded);
    QVERIFY(image.height() <= 36 && image.width() <= 500);
    QCOMPARE(image.pixelColor(image.width() / 2, image.height() / 2), QColor("#3366CC"));

    // Rebuilt on every rotation from the cache, without a new request.
    tick();
    QVERIFY(!embeddedPicture(label->text()).isNull());
    QCOMPARE(http->hits("/pic.png"), 1);
}

void TestAdBanner::pictureReplacesLoadingTextAtOnce()
{
    Route slow = picture(colourPng(720, 90));
    slow.mode = Route::Hold;
    http->setRoute("/slow.png", slow);
    // Two items naming the same uncached picture ask twice.
    serveAds({imageAd(http->base() + "/slow.png", "", "慢图"),
              imageAd(http->base() + "/slow.png", "", "慢图")});
    makeBanner();
    QVERIFY(waitShown());
    QCOMPARE(label->text(), loadingPictureHtml("#", "慢图"));
    QTRY_COMPARE(http->hits("/slow.png"), 2);

    http->release("/slow.png");
    QVERIFY(waitFinished(2));
    QString href;
    QCOMPARE(embeddedPicture(label->text(), &href).size(), QSize(288, 36));
    QCOMPARE(href, QStringLiteral("#"));
}

void TestAdBanner::pictureArrivingWhileAnotherItemIsShown()
{
    Route slow = picture(colourPng(100, 20));
    slow.mode = Route::Hold;
    http->setRoute("/later.png", slow);
    const QString link = QStringLiteral("https://www.tactora.example");
    serveAds({textAd("文字", link), imageAd(http->base() + "/later.png", link, "稍后")});
    makeBanner();
    QVERIFY(waitShown());
    QTRY_COMPARE(http->hits("/later.png"), 1);
    const QString text = textHtml("#10B981", "品", link, "文字");
    QCOMPARE(label->text(), text);

    http->release("/later.png");
    QVERIFY(waitFinished(2));
    QCOMPARE(label->text(), text);
    tick();
    QCOMPARE(embeddedPicture(label->text()).size(), QSize(100, 20));
    tick();
    QCOMPARE(label->text(), text);
    tick();
    QCOMPARE(embeddedPicture(label->text()).size(), QSize(100, 20));
    QCOMPARE(http->hits("/later.png"), 1);
}

void TestAdBanner::refusedPictures_data()
{
    QTest::addColumn<Route>("route");

    Route missing = picture("gone");
    missing.status = 404;
    QTest::newRow("HTTP 404") << missing;
    QTest::newRow("not a picture") << picture("hello, not a picture");
    QTest::newRow("truncated picture") << picture(colourPng(64, 64).left(60));

    // Hostile replies: each of these decodes fine if nobody checks.
    QByteArray padded = colourPng(100, 20);
    padded += QByteArray(AdBanner::maxImageReplyBytes + 1 - padded.size(), '\0');
    QTest::newRow("over 8 MiB") << picture(padded);
    QTest::newRow("too wide") << picture(monoPng(AdBanner::maxImageSide + 1, 16));
    QTest::newRow("too tall") << picture(monoPng(16, AdBanner::maxImageSide + 1));
    QTest::newRow("too many pixels") << picture(monoPng(2049, 2048));
    QTest::newRow("declares 6000x6000") << picture(monoPng(6000, 6000));
    Route huge = picture(colourPng(100, 20));
    huge.mode = Route::HugeLength;
    QTest::newRow("declares 1 GiB") << huge;
    Route endless = picture(colourPng(100, 20));
    endless.mode = Route::Endless;
    QTest::newRow("never-ending picture") << endless;
}

void TestAdBanner::refusedPictures()
{
    QFETCH(Route, route);
    http->setRoute("/bad.png", route);
    const QString link = QStringLiteral("https://www.tactora.example/bad");
    serveAds({imageAd(http->base() + "/bad.png", link, "坏图")});
    makeBanner();
    QVERIFY(waitFinished(2));
    QCOMPARE(label->text(), loadingPictureHtml(link, "坏图"));
    tick();
    tick();
    QCOMPARE(label->text(), loadingPictureHtml(link, "坏图"));
    if (route.mode != Route::Normal) {
        QTRY_COMPARE_WITH_TIMEOUT(http->streamsClosed, 1, 15000);
        QVERIFY2(http->streamedBytes < 64 * MiB, qPrintable(QString::number(http->streamedBytes)));
    }
    QTest::qWait(100);
    QCOMPARE(http->hits("/bad.png"), 1); // no new request on rotation
}

void TestAdBanner::pictureAddressMustBeWeb()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("local.png"));
    QVERIFY(QImage(QSize(100, 20), QImage::Format_ARGB32).save(path, "PNG"));
    const QString link = QStringLiteral("https://www.tactora.example");
    serveAds({imageAd(QUrl::fromLocalFile(path).toString(), link, "本地"),
              imageAd(QStringLiteral("qrc:/icon/Tuio.ico"), link, "资源")});
    makeBanner();
    QVERIFY(waitShown());
    QTest::qWait(300);
    QCOMPARE(finishedReplies, 1); // the list only
    QCOMPARE(label->text(), loadingPictureHtml(link, "本地"));
    tick();
    QCOMPARE(label->text(), loadingPictureHtml(link, "资源"));
}

void TestAdBanner::click_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("opens");
    QTest::addColumn<bool>("consumed");
    QTest::newRow("http") << "http://127.0.0.1:9/page?a=1" << true << true;
    QTest::newRow("https") << "https://www.tactora.example/docs" << true << true;
    QTest::newRow("upper-case scheme") << "HTTPS://www.tactora.example/UP" << true << true;
    QTest::newRow("file") << "file:///etc/passwd" << false << true;
    QTest::newRow("javascript") << "javascript:alert(1)" << false << true;
    QTest::newRow("smb") << "smb://10.0.0.1/share" << false << true;
    QTest::newRow("custom handler") << "tactora-evil://run?cmd=x" << false << true;
    QTest::newRow("http without host") << "http:relative" << false << true;
    QTest::newRow("empty link") << "" << false << false;
}

void TestAdBanner::click()
{
    QFETCH(QString, link);
    QFETCH(bool, opens);
    QFETCH(bool, consumed);
    serveAds({textAd("点我", link)});
    makeBanner();
    QVERIFY(waitShown());

    QTest::mousePress(label, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(5, 5));
    const QList<QUrl> expected = opens ? QList<QUrl>{QUrl(link)} : QList<QUrl>{};
    QCOMPARE(catcher.opened, expected);

    // Any button; the banner reports whether it took the press away from the label.
    catcher.opened.clear();
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::RightButton,
                      Qt::RightButton, Qt::NoModifier);
    QObject *filter = banner.get();
    QCOMPARE(filter->eventFilter(label, &press), consumed);
    QCOMPARE(catcher.opened, expected);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::RightButton,
                        Qt::NoButton, Qt::NoModifier);
    QVERIFY(!filter->eventFilter(label, &release));
}

void TestAdBanner::labelLinkActivation_data()
{
    click_data();
}

void TestAdBanner::labelLinkActivation()
{
    QFETCH(QString, link);
    QFETCH(bool, opens);
    serveAds({textAd("点我", "https://www.tactora.example")});
    makeBanner();
    QVERIFY(waitShown());
    QVERIFY(!label->openExternalLinks());
    emit label->linkActivated(link);
    QCOMPARE(catcher.opened, opens ? QList<QUrl>{QUrl(link)} : QList<QUrl>{});
}

void TestAdBanner::linkIsEscapedForTheAttribute_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("attribute");
    QTest::newRow("quote breaks out")
        << "http://127.0.0.1/x' onclick='y'><b>injected</b><a href='z"
        << "http://127.0.0.1/x%27 onclick=%27y%27%3E%3Cb%3Einjected%3C/b%3E%3Ca href=%27z";
    QTest::newRow("ampersand and double quote") << "https://www.tactora.example/a?x=1&y=\"2\""
                                                << "https://www.tactora.example/a?x=1&y=%222%22";
}

void TestAdBanner::linkIsEscapedForTheAttribute()
{
    QFETCH(QString, link);
    QFETCH(QString, attribute);

    const QByteArray picturePath = "/p.png";
    http->setRoute(picturePath, picture(colourPng(100, 20)));
    serveAds({textAd("标题", link, "product", "说明"),
              imageAd(http->base() + QString::fromLatin1(picturePath), link, "图")});
    makeBanner();
    QVERIFY(waitFinished(2));

    QCOMPARE(label->text(), textHtml("#10B981", "品", attribute, "标题") +
                                " <span style='color:#94A3B8;font-size:11px;'>— 说明</span>");
    QString plain;
    const QList<Anchor> anchors = anchorsOf(label->text(), &plain);
    QCOMPARE(anchors.size(), 1);
    // Same target once decoded, and nothing injected.
    QCOMPARE(QUrl::fromPercentEncoding(anchors.first().href.toUtf8()), link);
    QCOMPARE(anchors.first().text, QStringLiteral("标题"));
    QCOMPARE(plain, QStringLiteral("品标题 — 说明"));

    tick();
    QString href;
    QVERIFY(!embeddedPicture(label->text(), &href).isNull());
    QCOMPARE(href, attribute);
    QCOMPARE(QUrl::fromPercentEncoding(anchorsOf(label->text()).value(0).href.toUtf8()), link);

    QTest::mousePress(label, Qt::LeftButton);
    QCOMPARE(catcher.opened, QList<QUrl>{QUrl(link)});
}

void TestAdBanner::languageSwitchKeepsTheCurrentAnnouncement()
{
    const QString link = QStringLiteral("https://www.tactora.example");
    serveAds({textAd("一", link), textAd("二", link)});
    makeBanner();
    QVERIFY(waitShown());
    UiLanguage &language = UiLanguage::instance();
    language.setEnglish(true);
    language.retranslateWidgetTree(banner.get());
    QCOMPARE(label->text(), textHtml("#10B981", "品", link, "一"));
    tick();
    language.setEnglish(false);
    language.retranslateWidgetTree(banner.get());
    QCOMPARE(label->text(), textHtml("#10B981", "品", link, "二"));
}

QTEST_MAIN(TestAdBanner)
#include "tst_adbanner.moc"
