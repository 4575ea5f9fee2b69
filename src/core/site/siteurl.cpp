#include "site/siteurl.h"

#ifndef TACTORA_SITE_URL
#define TACTORA_SITE_URL "https://www.tactora.example"
#endif

namespace {
QString &baseUrl()
{
    static QString url = QStringLiteral(TACTORA_SITE_URL);
    return url;
}
} // namespace

QString siteBaseUrl()
{
    return baseUrl();
}

void setSiteBaseUrl(const QString &url)
{
    QString trimmed = url;
    while (trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    baseUrl() = trimmed;
}
