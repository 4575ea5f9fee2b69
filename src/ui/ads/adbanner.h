#pragma once

#include "ads/aditem.h"

#include <QList>
#include <QMap>
#include <QPixmap>
#include <QString>
#include <QWidget>

class QLabel;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// The header's announcement strip. The ad service is outside our control, so every reply is
// bounded in size and every link is checked before the desktop opens it.
class AdBanner : public QWidget
{
    Q_OBJECT

public:
    explicit AdBanner(const QString &productKey, QWidget *parent = nullptr);

    static constexpr qint64 maxListReplyBytes = 1024 * 1024;
    static constexpr qint64 maxImageReplyBytes = 8 * 1024 * 1024;
    // Anything beyond this is no banner picture; refused before decoding.
    static constexpr int maxImageSide = 4096;
    static constexpr qint64 maxImagePixels = 4 * 1024 * 1024;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void onAdsLoaded(QNetworkReply *reply);
    void onImageLoaded(QNetworkReply *reply);
    void rotateAd();
    void onLinkActivated(const QString &link);

private:
    void fetchAds();
    void requestImage(const QString &url);
    void limitReplySize(QNetworkReply *reply, qint64 maxBytes);
    void showAd(int index);
    void showDefaultAds();
    void startRotation();

    QLabel *label = nullptr;
    QTimer *rotationTimer = nullptr;
    QNetworkAccessManager *network = nullptr;
    QString productKey;
    QList<AdItem> items;
    int currentIndex = 0;
    QMap<QString, QPixmap> imageCache;
};
