#include "ads/adbanner.h"

#include "site/siteurl.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>

namespace {

constexpr int rotationIntervalMs = 5000;
constexpr int maxPictureHeight = 36;
constexpr int maxPictureWidth = 500;
// A strip rotates a handful of announcements; a list of thousands is no announcement list, and
// each one may cost a picture download.
constexpr int maxAds = 50;

const char *const imageUrlProperty = "adImageUrl";
const char *const imageRequestProperty = "isImageRequest";

// Links come from a service we do not control: only web pages go to the desktop.
bool isWebUrl(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme();
    return scheme.compare(QLatin1String("http"), Qt::CaseInsensitive) == 0 ||
           scheme.compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
}

void openWebLink(const QString &link)
{
    const QUrl url(link);
    if (isWebUrl(url))
        QDesktopServices::openUrl(url);
}

// The templates quote href with single quotes, inside which Qt's rich text decodes no character
// references, so entity escaping would change the target. Percent-encoding the characters that
// could end the attribute or open markup keeps it: that is how a browser sends them anyway.
QString attributeSafeLink(const QString &link)
{
    QString safe;
    safe.reserve(link.size());
    for (const QChar c : link) {
        switch (c.unicode()) {
        case '\'':
            safe += QLatin1String("%27");
            break;
        case '"':
            safe += QLatin1String("%22");
            break;
        case '<':
            safe += QLatin1String("%3C");
            break;
        case '>':
            safe += QLatin1String("%3E");
            break;
        case '\\':
            // The label's parser lets a backslash escape the closing quote.
            safe += QLatin1String("%5C");
            break;
        default:
            safe += c;
        }
    }
    return safe;
}

// The size a picture is shown at in the strip: at most 36 high and 500 wide, never empty.
QSize stripPictureSize(const QSize &picture)
{
    const int h = qMin(picture.height(), maxPictureHeight);
    const int sourceHeight = picture.height() == 0 ? 1 : picture.height();
    const int w = qMax(1, qMin(picture.width() * h / sourceHeight, maxPictureWidth));
    return QSize(w, h);
}

} // namespace

AdBanner::AdBanner(const QString &productKey, QWidget *parent)
    : QWidget(parent), productKey(productKey)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    label = new QLabel(this);
    label->setObjectName(QStringLiteral("adBanner"));
    label->setTextFormat(Qt::RichText);
    // The label would hand any scheme to the desktop; links go through onLinkActivated instead.
    label->setOpenExternalLinks(false);
    label->setTextInteractionFlags(Qt::LinksAccessibleByMouse);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    label->setMinimumWidth(300);
    label->setMaximumHeight(40);
    label->setScaledContents(false);
    label->setCursor(Qt::PointingHandCursor);
    label->installEventFilter(this);
    connect(label, &QLabel::linkActivated, this, &AdBanner::onLinkActivated);
    layout->addWidget(label);

    network = new QNetworkAccessManager(this);
    connect(network, &QNetworkAccessManager::finished, this, &AdBanner::onAdsLoaded);

    rotationTimer = new QTimer(this);
    rotationTimer->setInterval(rotationIntervalMs);
    connect(rotationTimer, &QTimer::timeout, this, &AdBanner::rotateAd);

    label->setText(QStringLiteral("<span style='color:#64748B;'>▶ 广告加载中...</span>"));

    fetchAds();
}

void AdBanner::fetchAds()
{
    QUrl url(siteBaseUrl() + QStringLiteral("/api/ads"));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("product"), productKey);
    url.setQuery(query);
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    limitReplySize(network->get(request), maxListReplyBytes);
}

void AdBanner::requestImage(const QString &url)
{
    // file:, qrc: and the like would read local data; pictures come from the web only.
    const QUrl address(url);
    if (!isWebUrl(address))
        return;
    QNetworkReply *reply = network->get(QNetworkRequest(address));
    reply->setProperty(imageUrlProperty, url);
    reply->setProperty(imageRequestProperty, true);
    limitReplySize(reply, maxImageReplyBytes);
}

void AdBanner::limitReplySize(QNetworkReply *reply, qint64 maxBytes)
{
    // Aborting finishes the reply with an error, which the handlers treat as a failure.
    connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, maxBytes] {
        bool known = false;
        const qint64 declared =
            reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && declared > maxBytes && reply->isRunning())
            reply->abort();
    });
    connect(reply, &QNetworkReply::downloadProgress, reply,
            [reply, maxBytes](qint64 received, qint64 total) {
                if ((received > maxBytes || total > maxBytes) && reply->isRunning())
                    reply->abort();
            });
}

void AdBanner::onAdsLoaded(QNetworkReply *reply)
{
    if (reply->property(imageRequestProperty).toBool()) {
        onImageLoaded(reply);
        return;
    }
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        showDefaultAds();
        return;
    }
    const QByteArray body = reply->read(maxListReplyBytes + 1);
    if (body.size() > maxListReplyBytes) {
        showDefaultAds();
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(body);
    if (!document.isObject()) {
        showDefaultAds();
        return;
    }
    const QJsonObject root = document.object();
    if (!root.value(QLatin1String("success")).toBool(false)) {
        showDefaultAds();
        return;
    }

    items.clear();
    const QJsonArray ads = root.value(QLatin1String("ads")).toArray();
    for (const QJsonValue &value : ads) {
        const QJsonObject ad = value.toObject();
        if (ad.value(QLatin1String("status")).toInt(0) != 1)
            continue;
        AdItem item;
        item.id = ad.value(QLatin1String("id")).toInt(0);
        item.targetType = ad.value(QLatin1String("target_type")).toString();
        item.adType = ad.value(QLatin1String("ad_type")).toString();
        item.title = ad.value(QLatin1String("title")).toString();
        item.imageUrl = ad.value(QLatin1String("image_url")).toString();
        item.linkUrl = ad.value(QLatin1String("link_url")).toString();
        item.description = ad.value(QLatin1String("description")).toString();
        items.append(item);
        if (items.size() == maxAds)
            break;
    }
    if (items.isEmpty()) {
        showDefaultAds();
        return;
    }

    for (const AdItem &item : std::as_const(items)) {
        if (item.adType == QLatin1String("image") && !item.imageUrl.isEmpty() &&
            !imageCache.contains(item.imageUrl))
            requestImage(item.imageUrl);
    }
    startRotation();
}

void AdBanner::onImageLoaded(QNetworkReply *reply)
{
    reply->deleteLater();
    const QString url = reply->property(imageUrlProperty).toString();
    if (reply->error() != QNetworkReply::NoError)
        return;
    QByteArray data = reply->read(maxImageReplyBytes + 1);
    if (data.size() > maxImageReplyBytes)
        return;

    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    // The header's dimensions decide the allocation; check them before decoding anything.
    const QSize declared = reader.size();
    if (!declared.isValid() || declared.width() > maxImageSide ||
        declared.height() > maxImageSide ||
        qint64(declared.width()) * declared.height() > maxImagePixels)
        return;
    const QImage image = reader.read();
    if (image.isNull())
        return;
    // Kept at its strip size: showing it scales to that size again, which then changes nothing,
    // and a hostile list of large pictures cannot fill memory with full-size copies.
    const QPixmap full = QPixmap::fromImage(image);
    const QPixmap pixmap =
        full.scaled(stripPictureSize(full.size()), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (pixmap.isNull())
        return;

    imageCache.insert(url, pixmap);
    if (currentIndex >= 0 && currentIndex < items.size() && items.at(currentIndex).imageUrl == url)
        showAd(currentIndex);
}

void AdBanner::rotateAd()
{
    if (items.isEmpty())
        return;
    currentIndex = (currentIndex + 1) % items.size();
    showAd(currentIndex);
}

void AdBanner::showAd(int index)
{
    if (index < 0 || index >= items.size())
        return;
    const AdItem &item = items.at(index);
    // The strip is not interface text: a language switch must not bring back an old announcement.
    label->setProperty("origText", QVariant());

    QString badgeColor = QStringLiteral("#64748B");
    QString badgeText = QStringLiteral("AD");
    if (item.targetType == QLatin1String("product")) {
        badgeColor = QStringLiteral("#10B981");
        badgeText = QStringLiteral("品");
    } else if (item.targetType == QLatin1String("line")) {
        badgeColor = QStringLiteral("#8B5CF6");
        badgeText = QStringLiteral("线");
    }
    const QString link =
        attributeSafeLink(item.linkUrl.isEmpty() ? QStringLiteral("#") : item.linkUrl);
    const bool isImage = item.adType == QLatin1String("image") && !item.imageUrl.isEmpty();

    if (isImage) {
        const auto cached = imageCache.constFind(item.imageUrl);
        if (cached != imageCache.constEnd()) {
            const QPixmap &picture = cached.value();
            const QPixmap scaled = picture.scaled(stripPictureSize(picture.size()),
                                                  Qt::KeepAspectRatio, Qt::SmoothTransformation);
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            scaled.save(&buffer, "PNG");
            label->setText(
                QStringLiteral(
                    "<a href='%1' style='text-decoration:none;'><img "
                    "src='data:image/png;base64,%2' "
                    "style='max-width:100%;vertical-align:middle;border-radius:3px;'/></a>")
                    .arg(link, QString::fromLatin1(png.toBase64())));
            return;
        }
    }

    // One multi-argument arg() call, so a "%1" inside a title is not substituted again.
    const QString head = QStringLiteral(
        "<span style='background:%1;color:#fff;padding:0 6px;border-radius:2px;font-size:10px;"
        "margin-right:6px;'>%2</span><a href='%3' "
        "style='color:#60A5FA;text-decoration:none;font-size:12px;'>%4</a>");
    QString text = head.arg(badgeColor, badgeText, link, item.title.toHtmlEscaped());
    if (isImage) {
        text +=
            QStringLiteral(" <span style='color:#64748B;font-size:11px;'>— 图片加载中...</span>");
    } else if (!item.description.isEmpty()) {
        text += QStringLiteral(" <span style='color:#94A3B8;font-size:11px;'>— %1</span>")
                    .arg(item.description.toHtmlEscaped());
    }
    label->setText(text);
}

void AdBanner::showDefaultAds()
{
    const QString root = siteBaseUrl();
    const struct
    {
        QString title;
        QString link;
    } defaults[] = {
        {QStringLiteral("🚀 Brevantis Pro — 专业调试工具套件"), root},
        {QStringLiteral("📖 在线文档 — 查看完整使用指南"), root + QStringLiteral("/docs/quorbell")},
        {QStringLiteral("⭐ 更多工具 — 探索 Quorbell 全系产品"), root},
    };
    items.clear();
    for (const auto &entry : defaults) {
        AdItem item;
        item.adType = QStringLiteral("text");
        item.targetType = QStringLiteral("global");
        item.title = entry.title;
        item.linkUrl = entry.link;
        items.append(item);
    }
    startRotation();
}

void AdBanner::startRotation()
{
    currentIndex = 0;
    showAd(currentIndex);
    rotationTimer->start();
}

bool AdBanner::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    const bool mouseButton = type == QEvent::MouseButtonPress ||
                             type == QEvent::MouseButtonRelease ||
                             type == QEvent::MouseButtonDblClick;
    if (watched == label && mouseButton && currentIndex >= 0 && currentIndex < items.size() &&
        !items.at(currentIndex).linkUrl.isEmpty()) {
        // The press opens the link. The rest of the click is taken too: the label would activate
        // the link under the pointer on release and open it a second time. Handled even when
        // refused, so the label cannot activate a refused link on its own.
        if (type == QEvent::MouseButtonPress)
            openWebLink(items.at(currentIndex).linkUrl);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void AdBanner::onLinkActivated(const QString &link)
{
    openWebLink(link);
}
